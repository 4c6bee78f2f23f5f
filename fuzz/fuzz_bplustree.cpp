// Loads arbitrary bytes as a tree file, then looks up, inserts and saves. A damaged file may
// make any of these fail; none may crash, hang or touch memory out of bounds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzScratch.h"
#include "filebplustreenode.h"

namespace {

const std::string& Dir() {
    static const std::string dir = fuzzscratch::Dir("bpt").string();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Dir() + "/f" + std::to_string(getpid()) + ".bpt";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    FileBPlusTree tree;
    if (tree.LoadFromFile(CString(path))) {
        // Keys taken from the input's tail, so the fuzzer steers them too.
        for (size_t i = 0; i < 24; ++i) {
            std::string k;
            size_t at = size > 0 ? (i * 131) % size : 0;
            for (size_t j = 0; j < 6 && at + j < size; ++j)
                k += static_cast<char>(data[at + j] | 1);
            CMyKey key{CString(k)};
            CMyKey out;
            int value = 0, status = 0, old = 0;
            tree.Find(key, &out, &value, &status);
            tree.Insert(key, static_cast<int>(i), static_cast<int>(i & 1), &old);
            tree.Insert(CMyKey(static_cast<int>(i * 7919)), 1, 1, &old);
        }
        tree.SaveToFile(CString());
        tree.Close();
    }
    std::remove(path.c_str());
    return 0;
}
