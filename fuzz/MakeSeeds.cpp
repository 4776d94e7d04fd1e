// Seed inputs for the fuzz targets, cut from the real-server corpus:
//   fuzz-make-seeds CORPUS_DIR COLLATION_FILE OUT_DIR
// writes OUT_DIR/<target>/<name> for every target (frm files, collation file pieces, .MYI
// headers, .MYD prefixes, ibdata1 dictionary pages alone and together, .ibd pages, BLOB
// chains with their reference). Tablespace pages go in the packed form of FuzzSupport.h,
// each cut after its last used byte.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/DralvekOstruneApp.h"
#include "engine/InnoBlob.h"
#include "engine/InnoLayout.h"
#include "engine/TableEngine.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTables.h"

namespace fs = std::filesystem;
using fuzz::Bytes;

namespace {

constexpr std::uint32_t kPage = INNO_PAGE_SIZE;
constexpr std::uint16_t kTypeBlob = 10;
// Seeds stay small so that each execution stays fast.
constexpr std::size_t kSeedBudget = 48 * 1024;
constexpr std::size_t kMydPrefix = 16 * 1024;

fs::path g_out;
std::size_t g_written = 0;

Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Seed(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path dir = g_out / target;
    fs::create_directories(dir);
    std::string file = name;
    std::replace(file.begin(), file.end(), '/', '_');
    std::ofstream(dir / file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                       static_cast<std::streamsize>(bytes.size()));
    ++g_written;
}

std::uint32_t Be16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0]) << 8 | p[1]; }
std::uint32_t Be32(const unsigned char* p) { return Be16(p) << 16 | Be16(p + 2); }
std::uint64_t Be64(const unsigned char* p) { return static_cast<std::uint64_t>(Be32(p)) << 32 | Be32(p + 4); }

// One page of a tablespace file.
struct PageRef {
    const Bytes* file;
    std::uint32_t number;
    const unsigned char* Data() const { return file->data() + std::size_t{number} * kPage; }
    std::uint16_t Type() const { return static_cast<std::uint16_t>(Be16(Data() + 24)); }
    std::uint64_t IndexId() const { return Be64(Data() + 66); }
};

std::uint32_t PageCount(const Bytes& file) { return static_cast<std::uint32_t>(file.size() / kPage); }

// The bytes of a page that matter: an index page up to its heap top, a BLOB page up to
// the end of its part, page 0 up to past its flags; trailing zeros never.
std::uint32_t UsedLength(const PageRef& p) {
    const unsigned char* d = p.Data();
    std::uint32_t used = kPage;
    if (p.Type() == INNO_PAGE_TYPE_INDEX) used = std::clamp<std::uint32_t>(Be16(d + 40), 120, kPage);
    else if (p.Type() == kTypeBlob) used = std::min<std::uint32_t>(38 + 8 + Be32(d + 38), kPage);
    else if (p.number == 0) used = 160;
    while (used > 0 && d[used - 1] == 0) --used;
    return used;
}

void AddPage(Bytes& out, const PageRef& p) { fuzz::AppendPackedPage(out, p.number, p.Data(), UsedLength(p)); }

// ---------------------------------------------------------------- per target

void FrmSeeds(const fs::path& corpus) {
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (entry.path().extension() != ".frm") continue;
        const std::string name = fs::relative(entry.path(), corpus).string();
        Seed("frm_reader", name, Read(entry.path()));
    }
    // Definitions with generated columns and long UNIQUE keys, unpacked beside the corpus.
    for (const char* archive : {"generated", "long_unique"}) {
        const fs::path folder = corpus.parent_path() / archive;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
            if (entry.path().extension() != ".frm") continue;
            Seed("frm_reader", std::string(archive) + "/" + fs::relative(entry.path(), folder).string(), Read(entry.path()));
        }
    }
}

// Binary JSON documents of each kind: an object holding an array, a large-form array,
// a string, a double and opaque DATETIME and DECIMAL values.
void JsonSeeds() {
    const std::string docs[] = {
        std::string("\x00\x02\x00\x21\x00\x12\x00\x01\x00\x13\x00\x02\x00\x05\x01\x00\x02\x15\x00"
                    "abb\x02\x00\x0c\x00\x04\x01\x00\x0c\x0a\x00\x01x",
                    34),
        std::string("\x03\x02\x00\x00\x00\x12\x00\x00\x00\x07\x70\x11\x01\x00\x05\xfe\xff\xff\xff", 19),
        std::string("\x0c\x05hello", 7),
        std::string("\x0b\x00\x00\x00\x00\x00\x00\xf8\x3f", 9),
        std::string("\x0f\x0c\x08\x20\xa1\x07\x19\x76\x1f\x95\x19", 11),
        std::string("\x0f\xf6\x04\x04\x02\x8c\x32", 7),
    };
    int n = 0;
    for (const std::string& d : docs) Seed("mysql_json", "doc" + std::to_string(++n), Bytes(d.begin(), d.end()));
}

// View definition files (text .frm) and .TRG files, whole.
void ViewTriggerSeeds(const fs::path& corpus) {
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        const std::string name = fs::relative(entry.path(), corpus).string();
        if (entry.path().extension() == ".TRG") Seed("trigger_file", name, Read(entry.path()));
        if (entry.path().extension() != ".frm") continue;
        Bytes bytes = Read(entry.path());
        if (bytes.size() > 9 && std::equal(bytes.begin(), bytes.begin() + 9, "TYPE=VIEW")) Seed("view_file", name, bytes);
    }
}

void CollationSeeds(const fs::path& collation) {
    const Bytes whole = Read(collation);
    Seed("collation_loader", "whole", whole);
    // The first records alone keep the inputs short.
    for (std::size_t n : {64, 256, 1024})
        if (n < whole.size()) Seed("collation_loader", "first" + std::to_string(n), Bytes(whole.begin(), whole.begin() + n));
}

template <std::size_t N>
void MyisamSeeds(const fs::path& corpus, const fuzz::CorpusTable (&tables)[N], const std::string& target,
                 const char* extension, std::size_t selectorBase, std::size_t limit) {
    for (std::size_t i = 0; i < N; ++i) {
        const std::string base = std::string(tables[i].database) + "/" + tables[i].table;
        Bytes file = Read(corpus / (base + extension));
        if (file.size() > limit) file.resize(limit);
        for (unsigned save : {0u, 0x80u}) {
            Bytes seed{static_cast<unsigned char>((selectorBase + i) | save)};
            seed.insert(seed.end(), file.begin(), file.end());
            Seed(target, base + extension + (save ? ".save" : ""), seed);
        }
    }
}

// The pages of index id in page order, within the budget.
void AddIndexPages(Bytes& out, const Bytes& file, std::uint64_t indexId, std::size_t budget) {
    for (std::uint32_t n = 0; n < PageCount(file); ++n) {
        const PageRef p{&file, n};
        if (p.Type() != INNO_PAGE_TYPE_INDEX || p.IndexId() != indexId) continue;
        if (out.size() + UsedLength(p) + 4 > budget) break;
        AddPage(out, p);
    }
}

void DictionarySeeds(const fs::path& corpus) {
    const Bytes ibdata = Read(corpus / "ibdata1");
    // SYS_TABLES, SYS_COLUMNS, SYS_INDEXES and SYS_FIELDS have the index ids 1 to 4.
    Bytes dictionary;
    AddPage(dictionary, PageRef{&ibdata, 0});
    for (std::uint64_t id = 1; id <= 4; ++id) AddIndexPages(dictionary, ibdata, id, 4 * kSeedBudget);
    Seed("inno_dictionary", "dictionary", dictionary);
    // Each dictionary page alone.
    for (std::uint32_t n = 0; n < PageCount(ibdata); ++n) {
        const PageRef p{&ibdata, n};
        if (p.Type() != INNO_PAGE_TYPE_INDEX || p.IndexId() < 1 || p.IndexId() > 4) continue;
        Bytes one;
        AddPage(one, PageRef{&ibdata, 0});
        AddPage(one, p);
        Seed("inno_dictionary", "page" + std::to_string(n), one);
    }
    // The dictionary with the pages of the tables the target reads from ibdata1.
    CDralvekOstruneApp app;
    CTableEngine engine;
    engine.LoadDictionary(CString::FromUtf8((corpus / "ibdata1").string()));
    Bytes withTables = dictionary;
    for (const fuzz::CorpusTable& t : fuzz::kSystemTables) {
        const std::uint64_t id = engine.FindTableId(CString::FromUtf8(std::string(t.database) + "/" + t.table));
        const std::uint32_t root = id ? engine.FindClusteredRootPage(id) : 0;
        if (root == 0 || root >= PageCount(ibdata)) continue;
        AddIndexPages(withTables, ibdata, PageRef{&ibdata, root}.IndexId(), withTables.size() + kSeedBudget);
    }
    Seed("inno_dictionary", "dictionary+tables", withTables);
}

// The pages from the root down the leftmost path, then the leaves along their chain, as
// far as the budget goes: what the walk reads first.
std::vector<std::uint32_t> LeftmostPages(const fs::path& corpus, const std::string& base, const Bytes& ibd) {
    std::vector<std::uint32_t> pages;
    CDralvekOstruneApp app;
    CTableEngine engine;
    if (!engine.ReadFrm(CString::FromUtf8((corpus / (base + ".frm")).string()))) return pages;
    engine.BuildColumnsFromFrm();
    std::uint32_t page = 3;
    std::set<std::uint32_t> seen;
    while (page < PageCount(ibd) && seen.insert(page).second) {
        const PageRef p{&ibd, page};
        if (p.Type() != INNO_PAGE_TYPE_INDEX) break;
        pages.push_back(page);
        if (Be16(p.Data() + 64) == 0) break;
        const std::uint16_t first = static_cast<std::uint16_t>(Be16(p.Data() + INNO_COMPACT_INFIMUM - 2) + INNO_COMPACT_INFIMUM);
        std::uint32_t offset = 0;
        if (!FindNodePtrChildOffset(engine, p.Data(), first, offset) || first + offset + 4 > kPage) break;
        page = Be32(p.Data() + first + offset);
    }
    // Along the leaf chain.
    while (!pages.empty()) {
        const std::uint32_t next = Be32(PageRef{&ibd, pages.back()}.Data() + 12);
        if (next >= PageCount(ibd) || !seen.insert(next).second) break;
        pages.push_back(next);
        if (pages.size() > 64) break;
    }
    return pages;
}

void WalkSeeds(const fs::path& corpus) {
    for (std::size_t i = 0; i < fuzz::Count(fuzz::kInnoTables); ++i) {
        const fuzz::CorpusTable& t = fuzz::kInnoTables[i];
        const std::string base = std::string(t.database) + "/" + t.table;
        const Bytes ibd = Read(corpus / (base + ".ibd"));
        if (PageCount(ibd) < 4) continue;
        const std::vector<std::uint32_t> path = LeftmostPages(corpus, base, ibd);
        for (unsigned save : {0u, 0x80u, 0x100u}) {
            // 0x100: one seed of more than a thousand rows, for the paging.
            if (save == 0x100u && path.size() < 8) continue;
            const std::size_t budget = save == 0x100u ? 3 * kSeedBudget : kSeedBudget;
            Bytes seed{static_cast<unsigned char>(i | (save & 0x80u))};
            AddPage(seed, PageRef{&ibd, 0});
            for (std::uint32_t n : path) {
                const PageRef p{&ibd, n};
                if (seed.size() + UsedLength(p) + 4 > budget) break;
                AddPage(seed, p);
            }
            // Off-page values, as far as the budget goes.
            for (std::uint32_t n = 0; n < PageCount(ibd); ++n) {
                const PageRef p{&ibd, n};
                if (p.Type() != kTypeBlob || seed.size() + UsedLength(p) + 4 > kSeedBudget + 16 * 1024) continue;
                AddPage(seed, p);
            }
            Seed("inno_walk", base + (save == 0x80u ? ".save" : save ? ".pages" : ""), seed);
        }
    }
}

// BLOB chains: a chain starts at a BLOB page no other BLOB page names as its next.
void BlobSeeds(const fs::path& corpus) {
    const char* files[] = {"innodb_features/t_blob_compact.ibd", "innodb_features/t_blob_dynamic.ibd",
                           "innodb_types/t_text_blob_compact.ibd", "innodb_types/t_text_blob_dynamic.ibd"};
    for (const char* name : files) {
        const Bytes ibd = Read(corpus / name);
        std::set<std::uint32_t> blobs, named;
        for (std::uint32_t n = 0; n < PageCount(ibd); ++n) {
            const PageRef p{&ibd, n};
            if (p.Type() != kTypeBlob) continue;
            blobs.insert(n);
            named.insert(Be32(p.Data() + 38 + 4));
        }
        int chains = 0;
        for (std::uint32_t head : blobs) {
            if (named.count(head) || chains >= 3) continue;
            ++chains;
            // At most three pages of the chain; the reference's length says what they hold.
            Bytes pages;
            std::uint64_t total = 0;
            std::uint32_t page = head;
            for (int k = 0; k < 3 && blobs.count(page); ++k) {
                const PageRef p{&ibd, page};
                AddPage(pages, p);
                total += Be32(p.Data() + 38);
                page = Be32(p.Data() + 38 + 4);
            }
            unsigned char ref[INNO_EXTERN_REF_SIZE] = {};
            const std::uint32_t space = Be32(ibd.data() + 34);
            for (int b = 0; b < 4; ++b) {
                ref[b] = static_cast<unsigned char>(space >> (24 - 8 * b));
                ref[4 + b] = static_cast<unsigned char>(head >> (24 - 8 * b));
                ref[8 + b] = static_cast<unsigned char>(38u >> (24 - 8 * b));
            }
            for (int b = 0; b < 8; ++b) ref[12 + b] = static_cast<unsigned char>(total >> (56 - 8 * b));
            // BLOB in save mode, TEXT in save mode, VARCHAR and GEOMETRY read whole.
            for (unsigned kind : {0x80u, 0x81u, 0x03u, 0x05u}) {
                Bytes seed{static_cast<unsigned char>(kind), 0};
                seed.insert(seed.end(), ref, ref + sizeof ref);
                seed.insert(seed.end(), pages.begin(), pages.end());
                Seed("inno_blob", std::string(name) + ".p" + std::to_string(head) + ".k" + std::to_string(kind), seed);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: fuzz-make-seeds CORPUS_DIR COLLATION_FILE OUT_DIR\n");
        return 2;
    }
    const fs::path corpus = argv[1];
    if (!fs::exists(corpus / "ibdata1")) {
        std::fprintf(stderr, "fuzz-make-seeds: no corpus at %s\n", argv[1]);
        return 1;
    }
    g_out = argv[3];
    fs::remove_all(g_out);
    FrmSeeds(corpus);
    JsonSeeds();
    CollationSeeds(argv[2]);
    ViewTriggerSeeds(corpus);
    constexpr std::size_t dynamicCount = fuzz::Count(fuzz::kDynamicTables);
    MyisamSeeds(corpus, fuzz::kDynamicTables, "myi_header", ".MYI", 0, 4096);
    MyisamSeeds(corpus, fuzz::kFixedTables, "myi_header", ".MYI", dynamicCount, 4096);
    MyisamSeeds(corpus, fuzz::kDynamicTables, "myisam_dynamic", ".MYD", 0, kMydPrefix);
    MyisamSeeds(corpus, fuzz::kFixedTables, "myisam_fixed", ".MYD", 0, kMydPrefix);
    DictionarySeeds(corpus);
    WalkSeeds(corpus);
    BlobSeeds(corpus);
    std::printf("fuzz-make-seeds: %zu seeds in %s\n", g_written, g_out.string().c_str());
    return 0;
}
