// CStoreWriteScope (the engine's CWriteScope): holds the write lock of source 1 or 2 while it
// lives; scopes of one source nest. The engine's writes take it themselves: a caller holds one
// to make several writes one step. Without the lock (another program kept it past the wait)
// Held() is false.
// A write starts here when no hold is open: a removed directory is looked for (and the set
// made anew, the hold then not had) before anything else. Taking the lock closes or reopens
// files only when it is then not had (the source's files were removed while it waited for
// them), so a file pointer taken under a hold stays valid for all of it; the engine's own
// writes look in the same way before they take any file pointer.
#pragma once

class CFileDypass;

class CStoreWriteScope {
public:
    // How long a writer waits for another program's write of the same source.
    static constexpr unsigned kWaitMs = 2000;

    CStoreWriteScope(CFileDypass& engine, int nSource, unsigned nWaitMs = kWaitMs);
    ~CStoreWriteScope();
    CStoreWriteScope(const CStoreWriteScope&) = delete;
    CStoreWriteScope& operator=(const CStoreWriteScope&) = delete;
    bool Held() const { return m_bHeld; }

private:
    friend class CFileDypass;
    // The engine's write looked already (WriteStarts): the scope only takes the lock.
    struct Started {};
    CStoreWriteScope(CFileDypass& engine, int nTree, Started);
    CFileDypass& m_engine;
    int m_nTree;
    bool m_bHeld;
};
