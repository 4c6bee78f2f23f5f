// Hostile callers of the store: a sequence of calls decoded from the input, with arbitrary
// codes, record bytes, names of any length and bytes, and null where a pointer may be null.
// Each input works on a fresh directory, removed afterwards. Nothing may crash or touch memory
// it does not own, and a tag the store accepted must be found by its name.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "FileDypass.h"
#include "FileFace.h"

namespace {

class Input {
public:
    Input(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    bool Empty() const { return m_n == 0; }
    uint8_t U8() {
        if (m_n == 0)
            return 0;
        --m_n;
        return *m_p++;
    }
    int32_t I32() {
        int32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = static_cast<int32_t>(static_cast<uint32_t>(v) << 8 | U8());
        return v;
    }
    // A small code around the valid range, or now and then any number.
    int Code() {
        const uint8_t b = U8();
        return b < 240 ? static_cast<int>(b % 10) - 1 : I32();
    }
    std::string Bytes(size_t nMax) {
        const size_t n = std::min<size_t>(U8() % (nMax + 1), m_n);
        std::string s(reinterpret_cast<const char*>(m_p), n);
        m_p += n;
        m_n -= n;
        return s;
    }
    CString Name() {
        const std::string s = Bytes(48);
        return CString(s.data(), static_cast<int>(s.size()));
    }

private:
    const uint8_t* m_p;
    size_t m_n;
};

// Room for the largest record; a record is read from the input over zeros, its type field
// (at 104) set to the code most of the time, as a host that resets its records has it.
struct RecordBuffer {
    alignas(8) unsigned char bytes[1100];
    void Fill(Input& in, int nType) {
        std::memset(bytes, 0, sizeof bytes);
        const std::string s = in.Bytes(255);
        std::memcpy(bytes + 4, s.data(), std::min<size_t>(s.size(), 1000));
        if (in.U8() % 4 != 0)
            std::memcpy(bytes + memtag::kTagTypeOffset, &nType, 4);
    }
};

template <class T>
T* MaybeRecord(Input& in, T& rec) {
    if (in.U8() % 8 == 0)
        return nullptr;
    std::memset(static_cast<void*>(&rec), 0, sizeof rec);
    const std::string s = in.Bytes(sizeof rec);
    std::memcpy(static_cast<void*>(&rec), s.data(), s.size());
    return &rec;
}

void Check(bool b) {
    if (!b)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char templ[] = "/tmp/memlist-fuzz-iface-XXXXXX";
    if (!mkdtemp(templ))
        return 0;
    const std::string dir = templ;
    {
        CFileFace face;
        face.SetConfigureFilePath(CString(dir.c_str()));
        Input in(data, size);
        RecordBuffer rec;
        for (int nOps = 0; !in.Empty() && nOps < 64; ++nOps) {
            const uint8_t op = in.U8() % 33;
            const int nType = in.Code(), nSource = in.Code();
            switch (op) {
                case 0: {
                    rec.Fill(in, nType);
                    const bool bNull = in.U8() % 8 == 0;
                    const CString strStruct = in.Name();
                    const int r =
                        face.AddData(nType, nSource, bNull ? nullptr : rec.bytes, strStruct);
                    const CString strName = CFileDypass::GetTagName(rec.bytes);
                    // An accepted tag is found by its name in its source.
                    if (r == 1 && !strName.IsEmpty())
                        Check((nSource == 2 ? face.JustTagFromBRK(strName)
                                            : face.JustTagFromRMP(strName)) != 0);
                    break;
                }
                case 1: {
                    rec.Fill(in, nType);
                    const CString strOld = in.Name(), strStruct = in.Name();
                    face.ModifyData(nType, nSource, in.U8() % 8 ? rec.bytes : nullptr, strOld,
                                    strStruct);
                    break;
                }
                case 2:
                    rec.Fill(in, nType);
                    face.DelData(nType, nSource, in.U8() % 8 ? rec.bytes : nullptr);
                    break;
                case 3:
                    face.DelData(in.Name());
                    break;
                case 4: {
                    StructObject_Info s;
                    face.AddStruct(nSource, MaybeRecord(in, s));
                    break;
                }
                case 5: {
                    Thing_Info t;
                    face.AddEvent(nSource, MaybeRecord(in, t));
                    break;
                }
                case 6: {
                    Task_Info t;
                    face.AddTask(nSource, MaybeRecord(in, t));
                    break;
                }
                case 7: {
                    StructObject_Info s;
                    face.DelStruct(nSource, MaybeRecord(in, s));
                    break;
                }
                case 8:
                    face.DelStruct(nSource, in.Name());
                    break;
                case 9: {
                    Thing_Info t;
                    face.DelEvent(nSource, MaybeRecord(in, t));
                    break;
                }
                case 10:
                    face.DelEvent(nSource, in.I32());
                    break;
                case 11: {
                    Task_Info t;
                    face.DelTask(nSource, MaybeRecord(in, t));
                    break;
                }
                case 12:
                    face.DelTask(nSource, in.I32());
                    break;
                case 13: {
                    StructObject_Info s;
                    face.ModifyStruct(nSource, MaybeRecord(in, s), in.Name());
                    break;
                }
                case 14: {
                    Thing_Info t;
                    face.ModifyEvent(nSource, MaybeRecord(in, t), in.Code());
                    break;
                }
                case 15: {
                    Task_Info t;
                    face.ModifyTask(nSource, MaybeRecord(in, t), in.Code());
                    break;
                }
                case 16: {
                    CMemTag tag;
                    const CString strName = in.Name();
                    // A tag found by a plain name carries that name.
                    if (face.GetSelute(strName, tag) == 1 && strName.Find('.') >= 0)
                        Check(tag.strName == CString(strName.GetString()));
                    break;
                }
                case 17:
                    face.JustTagFromBRK(in.Name());
                    break;
                case 18:
                    face.JustTagFromRMP(in.Name());
                    break;
                case 19: {
                    CArray<StructObject_Info, StructObject_Info> arr;
                    face.GetSpecyStructObj(in.Name(), arr, nSource);
                    break;
                }
                case 20: {
                    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> arr;
                    face.GetTagArray(arr, nSource);
                    for (int k = 0; k < arr.GetSize(); ++k) {
                        CMemTag tag;
                        face.GetTagInfoWithIdx(arr[k], tag);
                        face.GetTagInfoWithIdx(arr[k], rec.bytes);
                    }
                    _INDEX_STRUCT idx{nType, nSource, in.I32(), in.Code(), in.Code()};
                    CMemTag tag;
                    face.GetTagInfoWithIdx(idx, tag);
                    face.GetTagInfoWithIdx(idx, in.U8() % 4 ? rec.bytes : nullptr);
                    break;
                }
                case 21: {
                    CArray<CMemTag, CMemTag&> arr;
                    face.GetAllTags(arr, nSource);
                    break;
                }
                case 22: {
                    CArray<CMemTag, CMemTag&> arr;
                    face.GetAllEvents(arr, nSource);
                    face.GetAllTasks(arr, nSource);
                    face.GetAllStructObjects(arr, nSource);
                    break;
                }
                case 23:
                    face.RemoveAllBRKFile(nType);
                    break;
                case 24:
                    face.RemoveAllRMPFile(nType);
                    break;
                case 25:
                    face.BackupAsOldFile(nSource);
                    break;
                case 26:
                    face.RecoverWithOldFile(nSource);
                    break;
                case 27: {
                    // Only ever below the input's own directory.
                    std::string sub = dir;
                    if (nType > 0)
                        sub += "/sub" + std::to_string(nType % 3);
                    if (nSource > 1)
                        sub += "/";
                    face.SetConfigureFilePath(CString(sub.c_str()));
                    break;
                }
                case 28: {
                    CString msg = in.Name();
                    face.AddError(msg);
                    break;
                }
                case 29: {
                    CStringArray arr;
                    face.GetErrStringArray(arr);
                    break;
                }
                case 30:
                    face.RemoveErrorFile();
                    break;
                case 31: {
                    CDWordArray no;
                    CStringArray name, desc;
                    face.GetAllAreaInfo(no, name, desc);
                    break;
                }
                default: {
                    CDWordArray area, region;
                    CStringArray name, desc;
                    face.GetAllRegionInfo(area, region, name, desc);
                    break;
                }
            }
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
