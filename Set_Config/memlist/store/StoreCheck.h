// CStoreCheck: verifies the files of a store directory without changing anything.
//
// Every record and index file of both sources is checked for its header, its free-slot list (the
// offset F on the slot grid and within the file, the count, each released offset a slot of the
// slot area, released once, its record flagged deleted) and its slots; every live index entry
// must name a live record of its name and type in the typed file, and every live tag record must
// be named by one entry. Each name tree is checked for its structure and against the index: a
// nonzero value is a live entry of that name, and a live entry's name leads to it or to another
// live entry of the same name.
//
// Files are opened for reading only; nothing is created, written or saved, and the error file is
// not touched. They are reached through the directory as the store reaches them: a link or a
// file the store would refuse (mlplat::StoreDir) is a finding and is never read. A store that
// another program is writing may show passing inconsistencies. Each finding names the file and
// the byte offset where the inconsistency lies; texts are UTF-8. Nothing throws.
#pragma once

#include <cstdint>
#include <vector>

#include "CString.h"

struct StoreFinding {
    CString strFile;            // file name within the directory
    std::uint64_t nOffset;      // byte offset in that file
    CString strText;            // what is wrong, UTF-8
    bool bReclaimable = false;  // no damage: room that is not reused (a slot off a full list)
};

class CStoreCheck {
public:
    // Every inconsistency of the store in `strDir`, file by file in the order of the file
    // table, then the name trees; empty when the store is sound.
    static std::vector<StoreFinding> CheckDirectory(const CString& strDir);
};
