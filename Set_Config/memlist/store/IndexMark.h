// CIndexMark: where an index file stood when it was last looked at. Every program that writes
// the index through this library raises its shared change count, so the count says it when
// there is one (reading it costs no system call); without it the file's stamp stands in.
#pragma once

#include <atomic>
#include <cstdint>

#include "File.h"

class CIndexMark {
public:
    // The mark of the index now: the change count `pCount` when given, else `index`'s stamp.
    // False when neither can be had.
    static bool Take(const std::uint64_t* pCount, CFile* pIndex, CIndexMark& mark) {
        mark = CIndexMark();
        if (pCount) {
            mark.m_bCounted = true;
            mark.m_nCount =
                std::atomic_ref<std::uint64_t>(*const_cast<std::uint64_t*>(pCount)).load();
            return true;
        }
        return pIndex && pIndex->GetStamp(mark.m_stamp);
    }
    // The mark of the count `nCount`.
    static CIndexMark Counted(std::uint64_t nCount) {
        CIndexMark mark;
        mark.m_bCounted = true;
        mark.m_nCount = nCount;
        return mark;
    }
    bool operator==(const CIndexMark&) const = default;

private:
    bool m_bCounted = false;
    std::uint64_t m_nCount = 0;
    FileStamp m_stamp;
};
