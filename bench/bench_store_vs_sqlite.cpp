// The tag store against SQLite and LMDB on one workload: add every tag, look every tag up by
// name in random order, list all tags, change every tag, delete every tag. Tags are of mixed
// types over both sources. SQLite gets a table keyed by name, WAL journal, synchronous=OFF (the
// store does not sync either), prepared statements and one statement per operation. LMDB gets
// one database keyed by name, MDB_NOSYNC, one write transaction per change and one renewed read
// transaction per look-up; its listing is a cursor scan decoded into the same records.
//
//   bench_store_vs_sqlite [N ...] [--engine=all|memlist|sqlite|lmdb[,...]]
//
// "entry list" is a host's listing: GetTagArray, then GetTagInfoWithIdx per entry; the other
// engines' figure for it is their scan. The memory a program holds after only opening the store
// of the import, and after listing it entry by entry, is measured in a program of its own.
//
// Then, memlist alone: an import through the facade as a host writes one (look the name up,
// then add it) into a new store, and the time to open the store it leaves (best of five).
//
// Prints, per phase, microseconds per operation of each engine, SQLite's time over ours, and
// the store's reads and writes per operation (counted through the file-operation table).
#include <lmdb.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "FileDypass.h"
#include "FileFace.h"
#include "TagRecords.h"
#include "Vfs.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Phase {
    const char* name;
    double usMemlist = 0, usSqlite = 0, usLmdb = 0;  // per operation
    double preads = 0, pwrites = 0;                  // store, per operation
    long ops = 0;
};

long g_preads = 0, g_pwrites = 0;
ssize_t (*g_realPread)(int, void*, size_t, off_t);
ssize_t (*g_realPwrite)(int, const void*, size_t, off_t);
ssize_t CountingPread(int fd, void* b, size_t n, off_t o) {
    ++g_preads;
    return g_realPread(fd, b, n, o);
}
ssize_t CountingPwrite(int fd, const void* b, size_t n, off_t o) {
    ++g_pwrites;
    return g_realPwrite(fd, b, n, o);
}

// One record buffer big enough for any tag type, filled as a host would.
struct TagSpec {
    std::string name;
    int nType;
    int nSource;
};

using AnyRecord = memtag::AnyTagRecord;

void MakeRecord(const TagSpec& t, int nVersion, AnyRecord& rec) {
    rec.ResetAs(t.nType);
    if (t.nType == memtag::kTypeInt) {
        rec.i.nRangeHigh = 100 + nVersion;
        std::strcpy(rec.i.szUnit, "kPa");
    } else if (t.nType == memtag::kTypeFloat) {
        rec.f.dRangeHigh = 1.5 * nVersion;
        std::strcpy(rec.f.szUnit, "m3/h");
    }
    std::snprintf(rec.s.szName, sizeof rec.s.szName, "%s", t.name.c_str());
    std::snprintf(rec.s.szDesc, sizeof rec.s.szDesc, "description %d of %s", nVersion,
                  t.name.c_str());
    rec.s.nArea = nVersion % 7;
    rec.s.nRegion = nVersion % 5;
}

double UsPerOp(Clock::time_point a, Clock::time_point b, long n) {
    return std::chrono::duration<double, std::micro>(b - a).count() / static_cast<double>(n);
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "bench: %s failed\n", what);
        std::exit(1);
    }
}

void RunMemlist(const std::string& dir, const std::vector<TagSpec>& tags,
                const std::vector<int>& order, std::vector<Phase>& phases) {
    CFileDypass engine;
    engine.SetConfigureFilePath(dir.c_str());
    const long n = static_cast<long>(tags.size());
    AnyRecord rec;
    auto run = [&](Phase& p, long ops, auto&& body) {
        g_preads = g_pwrites = 0;
        auto a = Clock::now();
        body();
        auto b = Clock::now();
        p.usMemlist = UsPerOp(a, b, ops);
        p.preads = static_cast<double>(g_preads) / static_cast<double>(ops);
        p.pwrites = static_cast<double>(g_pwrites) / static_cast<double>(ops);
        p.ops = ops;
    };
    run(phases[0], n, [&] {
        for (const TagSpec& t : tags) {
            MakeRecord(t, 0, rec);
            engine.SetDataType(t.nType);
            engine.SetDataSource(t.nSource);
            Check(engine.CheckDataType() && engine.CheckDataSource(), "checks");
            // As the facade adds: the record and its entry in one hold of the write lock.
            CFileDypass::CWriteScope scope(engine, t.nSource);
            int off = engine.WriteTagRecord(&rec);
            Check(off > 0 && engine.AddIndexEntry(off, &rec) > 0, "memlist add");
        }
    });
    run(phases[1], n, [&] {
        CMemTag tag;
        for (int i : order)
            Check(engine.GetTagByName(tags[i].name.c_str(), tag) == 1, "memlist find");
    });
    run(phases[2], 1, [&] {
        CArray<CMemTag, CMemTag&> all;
        engine.GetAllTags(all, 0);
        Check(all.GetSize() == n, "memlist list");
    });
    run(phases[5], 1, [&] {
        CArray<_INDEX_STRUCT, _INDEX_STRUCT&> entries;
        Check(engine.GetTagArray(entries, 0) == 1 && entries.GetSize() == n, "memlist entries");
        for (int i = 0; i < entries.GetSize(); ++i) {
            CMemTag tag;
            Check(engine.GetTagInfoWithIdx(entries[i], tag) == 1, "memlist entry read");
        }
    });
    run(phases[3], n, [&] {
        for (int i : order) {
            const TagSpec& t = tags[i];
            MakeRecord(t, 1, rec);
            engine.SetDataType(t.nType);
            engine.SetDataSource(t.nSource);
            int off = engine.RelinkTag(&rec, t.name.c_str());
            Check(off > 0 && engine.RewriteTagRecord(off, &rec) == 1, "memlist change");
        }
    });
    run(phases[4], n, [&] {
        for (int i : order)
            Check(engine.DeleteTag(tags[i].name.c_str()) == 1, "memlist delete");
    });
}

struct ImportOpen {
    double usImport = 0;
    double msOpen = 0;
    double msOpenWithoutTrees = 0;  // what a program that died before saving leaves
};

// Microseconds per import step, and milliseconds to open the store of all of them, with its
// trees and with the trees removed (every name rebuilt from the index).
ImportOpen RunImportAndOpen(const std::string& dir, const std::vector<TagSpec>& tags) {
    AnyRecord rec;
    double usImport;
    {
        CFileFace face;
        face.SetConfigureFilePath(dir.c_str());
        auto a = Clock::now();
        for (const TagSpec& t : tags) {
            CMemTag tag;
            Check(face.GetSelute(t.name.c_str(), tag) == 0, "memlist import look-up");
            MakeRecord(t, 0, rec);
            Check(face.AddData(t.nType, t.nSource, &rec, CString()) == 1, "memlist import add");
        }
        usImport = UsPerOp(a, Clock::now(), static_cast<long>(tags.size()));
    }  // closing saves the trees
    // Milliseconds to open the store, best of five; each close saves the trees again.
    auto bestOpen = [&](bool bRemoveTrees) {
        double ms = 1e9;
        for (int i = 0; i < 5; ++i) {
            if (bRemoveTrees) {
                std::filesystem::remove(dir + "/" + CFileDypass::kBrakkTreeName);
                std::filesystem::remove(dir + "/" + CFileDypass::kZuZirTreeName);
            }
            auto a = Clock::now();
            CFileDypass engine(dir.c_str(), false);
            ms = std::min(ms, UsPerOp(a, Clock::now(), 1) / 1000.0);
        }
        return ms;
    };
    const double msOpen = bestOpen(false);
    return {usImport, msOpen, bestOpen(true)};
}

// Look-ups and listings of the other engines decode the record into a CMemTag, as the store's do.
void DecodeRecord(const void* pBlob, size_t nBytes, int nType, int nSource, CMemTag& tag) {
    AnyRecord r;
    std::memcpy(&r, pBlob, std::min(sizeof r, nBytes));
    tag.strName = CStringFromField(r.s.szName, sizeof r.s.szName);
    tag.strDesc = CStringFromField(r.s.szDesc, sizeof r.s.szDesc);
    tag.nArea = r.s.nArea;
    tag.nRegion = r.s.nRegion;
    tag.nDataType = nType;
    tag.nDataSource = static_cast<WORD>(nSource);
    if (nType == 2)
        tag.strUnit = CStringFromField(r.i.szUnit, sizeof r.i.szUnit);
    if (nType == 3)
        tag.strUnit = CStringFromField(r.f.szUnit, sizeof r.f.szUnit);
}

struct Stmt {
    sqlite3_stmt* p = nullptr;
    Stmt(sqlite3* db, const char* sql) {
        Check(sqlite3_prepare_v2(db, sql, -1, &p, nullptr) == SQLITE_OK, sql);
    }
    ~Stmt() { sqlite3_finalize(p); }
};

void RunSqlite(const std::string& dir, const std::vector<TagSpec>& tags,
               const std::vector<int>& order, std::vector<Phase>& phases) {
    sqlite3* db = nullptr;
    Check(sqlite3_open((dir + "/tags.db").c_str(), &db) == SQLITE_OK, "sqlite open");
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;", nullptr, nullptr, nullptr);
    sqlite3_exec(db,
                 "CREATE TABLE tags(name TEXT PRIMARY KEY, source INT, type INT, rec BLOB) "
                 "WITHOUT ROWID",
                 nullptr, nullptr, nullptr);
    const long n = static_cast<long>(tags.size());
    AnyRecord rec;
    {
        Stmt ins(db, "INSERT INTO tags VALUES(?1, ?2, ?3, ?4)");
        Stmt sel(db, "SELECT source, type, rec FROM tags WHERE name = ?1");
        Stmt all(db, "SELECT source, type, rec FROM tags");
        Stmt upd(db, "UPDATE tags SET rec = ?2 WHERE name = ?1");
        Stmt del(db, "DELETE FROM tags WHERE name = ?1");
        auto a = Clock::now();
        for (const TagSpec& t : tags) {
            MakeRecord(t, 0, rec);
            sqlite3_bind_text(ins.p, 1, t.name.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_int(ins.p, 2, t.nSource);
            sqlite3_bind_int(ins.p, 3, t.nType);
            sqlite3_bind_blob(ins.p, 4, &rec, memtag::TagRecordSize(t.nType), SQLITE_STATIC);
            Check(sqlite3_step(ins.p) == SQLITE_DONE, "sqlite insert");
            sqlite3_reset(ins.p);
        }
        auto b = Clock::now();
        phases[0].usSqlite = UsPerOp(a, b, n);

        auto decode = [](sqlite3_stmt* s, CMemTag& tag) {
            DecodeRecord(sqlite3_column_blob(s, 2), static_cast<size_t>(sqlite3_column_bytes(s, 2)),
                         sqlite3_column_int(s, 1), sqlite3_column_int(s, 0), tag);
        };
        a = Clock::now();
        for (int i : order) {
            CMemTag tag;
            sqlite3_bind_text(sel.p, 1, tags[i].name.c_str(), -1, SQLITE_STATIC);
            Check(sqlite3_step(sel.p) == SQLITE_ROW, "sqlite select");
            decode(sel.p, tag);
            sqlite3_reset(sel.p);
        }
        b = Clock::now();
        phases[1].usSqlite = UsPerOp(a, b, n);

        a = Clock::now();
        CArray<CMemTag, CMemTag&> list;
        list.Reserve(static_cast<int>(n));
        while (sqlite3_step(all.p) == SQLITE_ROW) {
            CMemTag tag;
            decode(all.p, tag);
            list.Add(tag);
        }
        sqlite3_reset(all.p);
        b = Clock::now();
        Check(list.GetSize() == n, "sqlite list");
        phases[2].usSqlite = UsPerOp(a, b, 1);
        phases[5].usSqlite = phases[2].usSqlite;

        a = Clock::now();
        for (int i : order) {
            MakeRecord(tags[i], 1, rec);
            sqlite3_bind_text(upd.p, 1, tags[i].name.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_blob(upd.p, 2, &rec, memtag::TagRecordSize(tags[i].nType), SQLITE_STATIC);
            Check(sqlite3_step(upd.p) == SQLITE_DONE, "sqlite update");
            sqlite3_reset(upd.p);
        }
        b = Clock::now();
        phases[3].usSqlite = UsPerOp(a, b, n);

        a = Clock::now();
        for (int i : order) {
            sqlite3_bind_text(del.p, 1, tags[i].name.c_str(), -1, SQLITE_STATIC);
            Check(sqlite3_step(del.p) == SQLITE_DONE, "sqlite delete");
            sqlite3_reset(del.p);
        }
        b = Clock::now();
        phases[4].usSqlite = UsPerOp(a, b, n);
    }
    sqlite3_close(db);
}

// LMDB: the value is the source and type (one byte each) and the record.
void RunLmdb(const std::string& dir, const std::vector<TagSpec>& tags,
             const std::vector<int>& order, std::vector<Phase>& phases) {
    MDB_env* env = nullptr;
    Check(mdb_env_create(&env) == 0, "lmdb create");
    mdb_env_set_mapsize(env, std::size_t{16} << 30);
    Check(mdb_env_open(env, dir.c_str(), MDB_NOSYNC | MDB_NOMETASYNC, 0664) == 0, "lmdb open");
    MDB_dbi dbi;
    {
        MDB_txn* txn = nullptr;
        Check(mdb_txn_begin(env, nullptr, 0, &txn) == 0 &&
                  mdb_dbi_open(txn, nullptr, 0, &dbi) == 0 && mdb_txn_commit(txn) == 0,
              "lmdb dbi");
    }
    const long n = static_cast<long>(tags.size());
    AnyRecord rec;
    std::vector<unsigned char> value(2 + sizeof rec);
    auto put = [&](const TagSpec& t, int nVersion) {
        MakeRecord(t, nVersion, rec);
        value[0] = static_cast<unsigned char>(t.nSource);
        value[1] = static_cast<unsigned char>(t.nType);
        std::memcpy(value.data() + 2, &rec, static_cast<size_t>(memtag::TagRecordSize(t.nType)));
        MDB_val k{t.name.size(), const_cast<char*>(t.name.data())};
        MDB_val v{2 + static_cast<size_t>(memtag::TagRecordSize(t.nType)), value.data()};
        MDB_txn* txn = nullptr;
        Check(mdb_txn_begin(env, nullptr, 0, &txn) == 0 && mdb_put(txn, dbi, &k, &v, 0) == 0 &&
                  mdb_txn_commit(txn) == 0,
              "lmdb put");
    };
    auto decode = [](const MDB_val& v, CMemTag& tag) {
        const auto* p = static_cast<const unsigned char*>(v.mv_data);
        DecodeRecord(p + 2, v.mv_size - 2, p[1], p[0], tag);
    };
    auto a = Clock::now();
    for (const TagSpec& t : tags)
        put(t, 0);
    phases[0].usLmdb = UsPerOp(a, Clock::now(), n);

    MDB_txn* rtxn = nullptr;
    Check(mdb_txn_begin(env, nullptr, MDB_RDONLY, &rtxn) == 0, "lmdb read txn");
    mdb_txn_reset(rtxn);
    a = Clock::now();
    for (int i : order) {
        Check(mdb_txn_renew(rtxn) == 0, "lmdb renew");
        MDB_val k{tags[i].name.size(), const_cast<char*>(tags[i].name.data())}, v;
        Check(mdb_get(rtxn, dbi, &k, &v) == 0, "lmdb get");
        CMemTag tag;
        decode(v, tag);
        mdb_txn_reset(rtxn);
    }
    phases[1].usLmdb = UsPerOp(a, Clock::now(), n);

    a = Clock::now();
    {
        Check(mdb_txn_renew(rtxn) == 0, "lmdb renew");
        MDB_cursor* cur = nullptr;
        Check(mdb_cursor_open(rtxn, dbi, &cur) == 0, "lmdb cursor");
        CArray<CMemTag, CMemTag&> list;
        list.Reserve(static_cast<int>(n));
        MDB_val k, v;
        for (int rc = mdb_cursor_get(cur, &k, &v, MDB_FIRST); rc == 0;
             rc = mdb_cursor_get(cur, &k, &v, MDB_NEXT)) {
            CMemTag tag;
            decode(v, tag);
            list.Add(tag);
        }
        mdb_cursor_close(cur);
        mdb_txn_reset(rtxn);
        Check(list.GetSize() == n, "lmdb list");
    }
    phases[2].usLmdb = UsPerOp(a, Clock::now(), 1);
    phases[5].usLmdb = phases[2].usLmdb;
    mdb_txn_abort(rtxn);

    a = Clock::now();
    for (int i : order)
        put(tags[i], 1);
    phases[3].usLmdb = UsPerOp(a, Clock::now(), n);

    a = Clock::now();
    for (int i : order) {
        MDB_val k{tags[i].name.size(), const_cast<char*>(tags[i].name.data())};
        MDB_txn* txn = nullptr;
        Check(mdb_txn_begin(env, nullptr, 0, &txn) == 0 && mdb_del(txn, dbi, &k, nullptr) == 0 &&
                  mdb_txn_commit(txn) == 0,
              "lmdb delete");
    }
    phases[4].usLmdb = UsPerOp(a, Clock::now(), n);
    mdb_env_close(env);
}

// The resident set of this program, in MB.
double ResidentMb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return -1;
}

// In a program of its own: opens the store in `dir`, then lists it entry by entry; prints the
// resident set after each.
int MeasureMemory(const char* dir) {
    CFileDypass engine(dir, false);
    const double mbOpen = ResidentMb();
    CArray<_INDEX_STRUCT, _INDEX_STRUCT&> entries;
    engine.GetTagArray(entries, 0);
    for (int i = 0; i < entries.GetSize(); ++i) {
        CMemTag tag;
        engine.GetTagInfoWithIdx(entries[i], tag);
    }
    std::printf("%.1f %.1f\n", mbOpen, ResidentMb());
    return 0;
}

// Runs MeasureMemory in a new program (this one, started again) and reads its two figures.
bool MeasureMemoryApart(const std::string& dir, double& mbOpen, double& mbListed) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        const std::string arg = "--memory=" + dir;
        execl("/proc/self/exe", "bench_store_vs_sqlite", arg.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buf[128] = {};
    const ssize_t got = read(fds[0], buf, sizeof buf - 1);
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    return got > 0 && std::sscanf(buf, "%lf %lf", &mbOpen, &mbListed) == 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    std::string engines = "all";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--memory=", 9) == 0)
            return MeasureMemory(argv[i] + 9);
        if (std::strncmp(argv[i], "--engine=", 9) == 0)
            engines = argv[i] + 9;
        else
            sizes.push_back(std::atol(argv[i]));
    }
    if (sizes.empty())
        sizes = {10000, 100000};

    mlplat::VfsOps& vfs = mlplat::Vfs();
    g_realPread = vfs.pread;
    g_realPwrite = vfs.pwrite;
    vfs.pread = CountingPread;
    vfs.pwrite = CountingPwrite;

    for (long n : sizes) {
        std::vector<TagSpec> tags;
        for (long i = 0; i < n; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "AREA%02ld.TAG%07ld", i % 37, i);
            tags.push_back({name, static_cast<int>(i % 4) + 1, static_cast<int>(i % 2) + 1});
        }
        std::vector<int> order(static_cast<size_t>(n));
        for (long i = 0; i < n; ++i)
            order[static_cast<size_t>(i)] = static_cast<int>(i);
        std::shuffle(order.begin(), order.end(), std::mt19937(12345));

        std::vector<Phase> phases = {{"add"},    {"find by name"}, {"list all"},
                                     {"change"}, {"delete"},       {"entry list"}};
        auto runs = [&](const char* name) {
            return engines == "all" || engines.find(name) != std::string::npos;
        };
        char templ[] = "/tmp/memlist-bench-XXXXXX";
        const std::string root = mkdtemp(templ);
        std::filesystem::create_directories(root + "/store");
        std::filesystem::create_directories(root + "/sqlite");
        std::filesystem::create_directories(root + "/lmdb");
        if (runs("memlist"))
            RunMemlist(root + "/store", tags, order, phases);
        if (runs("sqlite"))
            RunSqlite(root + "/sqlite", tags, order, phases);
        if (runs("lmdb"))
            RunLmdb(root + "/lmdb", tags, order, phases);
        ImportOpen importOpen;
        double mbOpen = -1, mbListed = -1;
        if (runs("memlist")) {
            std::filesystem::create_directories(root + "/import");
            importOpen = RunImportAndOpen(root + "/import", tags);
            MeasureMemoryApart(root + "/import", mbOpen, mbListed);
        }
        std::filesystem::remove_all(root);

        // What building the listing's records costs without any file: the floor of "list all".
        auto a = Clock::now();
        {
            CArray<CMemTag, CMemTag&> floor;
            floor.Reserve(static_cast<int>(n));
            for (const TagSpec& t : tags) {
                CMemTag& m = floor.vec().emplace_back();
                m.strName = t.name.c_str();
                m.strDesc.Format("description 0 of %s", t.name.c_str());
            }
        }
        const double usFloor = UsPerOp(a, Clock::now(), 1);

        std::printf("\n%ld tags of mixed types over both sources\n", n);
        std::printf("%-14s %13s %13s %13s %9s %9s %7s %7s\n", "phase", "memlist us/op",
                    "sqlite us/op", "lmdb us/op", "sqlite/ml", "lmdb/ml", "preads", "pwrites");
        for (const Phase& p : phases) {
            const bool list =
                std::strcmp(p.name, "list all") == 0 || std::strcmp(p.name, "entry list") == 0;
            auto ratio = [&](double other) { return p.usMemlist > 0 ? other / p.usMemlist : 0.0; };
            std::printf("%-14s %13.2f %13.2f %13.2f %9.2f %9.2f %7.2f %7.2f%s\n", p.name,
                        p.usMemlist, p.usSqlite, p.usLmdb, ratio(p.usSqlite), ratio(p.usLmdb),
                        p.preads, p.pwrites, list ? "  (one call; us for the whole list)" : "");
        }
        std::printf("%-14s %14.2f  (building the records in memory, no file)\n", "list floor",
                    usFloor);
        if (runs("memlist")) {
            std::printf("%-14s %14.1f  (MB held by a program that only opened the store)\n",
                        "memory open", mbOpen);
            std::printf("%-14s %14.1f  (MB held after it listed every entry)\n", "memory listed",
                        mbListed);
            std::printf("%-14s %14.2f  (facade: look the name up, then add it)\n", "import",
                        importOpen.usImport);
            std::printf("%-14s %14.2f  (ms to open the store of the import, best of 5)\n", "open",
                        importOpen.msOpen);
            std::printf("%-14s %14.2f  (ms to open it without its trees, best of 5)\n", "open bare",
                        importOpen.msOpenWithoutTrees);
        }
    }
    return 0;
}
