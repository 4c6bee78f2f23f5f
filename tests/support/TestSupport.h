// Helpers shared by the tests: scratch directories, GB2312 from UTF-8, file bytes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Arrays.h"
#include "CString.h"

namespace mltest {

// A fresh directory under /tmp, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);  // null value: unset
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_had;
};

// GB2312 bytes of a UTF-8 text, by iconv, independent of the library's conversion code.
std::string Gb(const std::string& utf8);
CString GbS(const std::string& utf8);

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Every file directly in `dir` (names not starting with '.', none called `skip`) with its
// bytes: what an operation that must write nothing is compared against.
std::map<std::string, std::string> SnapshotDir(const std::string& dir,
                                               const std::string& skip = std::string());
long long FileSize(const std::string& path);

// The texts of `arr`, in order.
inline std::vector<std::string> Strings(const CStringArray& arr) {
    std::vector<std::string> out;
    for (int i = 0; i < arr.GetSize(); ++i)
        out.push_back(arr[i].str());
    return out;
}

// The messages in a store's error file, in order, read through `store`'s GetErrStringArray (the
// engine, the facade or the exported class).
template <class Store>
std::vector<std::string> Messages(Store& store) {
    CStringArray arr;
    store.GetErrStringArray(arr);
    return Strings(arr);
}

}  // namespace mltest
