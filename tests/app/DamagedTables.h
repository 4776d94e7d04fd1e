#pragma once

// Damaged copies of real-server tables: a private data folder with the named corpus files,
// changed by documented byte edits, then read the way the window reads a table (the
// definition and the first page, Next Records to the end) so that each case can say which
// rows the table still shows.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/AppEngine.h"
#include "app/DralvekOstruneApp.h"
#include "app/TableBrowser.h"
#include "engine/TableEngine.h"

namespace damaged {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

inline fs::path Corpus() { return fs::path(DRALVEK_FIXTURES) / "corpus"; }
inline fs::path Expected() { return fs::path(DRALVEK_FIXTURE_SOURCE) / "expected"; }

inline Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t Be16(const Bytes& b, std::size_t at) { return static_cast<std::uint32_t>(b.at(at)) << 8 | b.at(at + 1); }
inline std::uint32_t Be32(const Bytes& b, std::size_t at) { return Be16(b, at) << 16 | Be16(b, at + 2); }
inline std::uint32_t Le16(const Bytes& b, std::size_t at) { return b.at(at) | static_cast<std::uint32_t>(b.at(at + 1)) << 8; }
inline std::uint32_t Le32(const Bytes& b, std::size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }
inline void PutBe(Bytes& b, std::size_t at, std::uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i, v >>= 8) b.at(at + i) = static_cast<unsigned char>(v);
}
inline void PutLe(Bytes& b, std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i, v >>= 8) b.at(at + i) = static_cast<unsigned char>(v);
}

constexpr std::size_t kPage = INNO_PAGE_SIZE;

// A data folder of its own holding copies of corpus files ("db/table.ext", "ibdata1").
class DataDir {
public:
    explicit DataDir(std::initializer_list<std::string> files) : DataDir(Corpus(), std::vector<std::string>(files)) {}
    // Copies of the files of another unpacked archive.
    DataDir(const fs::path& archive, const std::vector<std::string>& files) {
        m_root = fs::temp_directory_path() / ("damaged-" + std::to_string(::getpid()) + "-" + std::to_string(++s_count));
        fs::remove_all(m_root);
        for (const std::string& f : files) {
            fs::create_directories((m_root / f).parent_path());
            fs::copy_file(archive / f, m_root / f);
        }
    }
    ~DataDir() { fs::remove_all(m_root); }
    DataDir(const DataDir&) = delete;
    DataDir& operator=(const DataDir&) = delete;

    fs::path Path(const std::string& file) const { return m_root / file; }
    const fs::path& Root() const { return m_root; }
    Bytes Read(const std::string& file) const { return ReadBytes(Path(file)); }
    void Write(const std::string& file, const Bytes& bytes) const { WriteBytes(Path(file), bytes); }
    void Truncate(const std::string& file, std::uint64_t size) const { fs::resize_file(Path(file), size); }

private:
    static inline int s_count = 0;
    fs::path m_root;
};

// What the window showed of a table, every page of it.
struct Shown {
    bool definitionRead = false;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    std::size_t pages = 0;
    // What the steps reported lost, in order.
    std::vector<std::string> losses;

    std::vector<std::string> Column(std::size_t i) const {
        std::vector<std::string> cells;
        for (const auto& r : rows) cells.push_back(i < r.size() ? r[i] : "<missing>");
        return cells;
    }
};

// Reads database/table of the folder: the dictionary first when the folder has ibdata1,
// as the folder scan loads it; save mode writes off-page values below saveFolder.
inline Shown ShowWholeTable(const fs::path& root, const std::string& database, const std::string& table,
                            const fs::path& saveFolder = fs::path()) {
    CDralvekOstruneApp app;
    app.m_bSaveAsScript = saveFolder.empty() ? 0 : 1;
    if (!saveFolder.empty()) {
        fs::create_directories(saveFolder / "blobdata");
        app.m_strSaveFolder = CString::FromUtf8(saveFolder.string() + "/");
    }
    AppEngine engine;
    if (fs::exists(root / "ibdata1")) engine.LoadDictionary(CString::FromUtf8((root / "ibdata1").string()));
    CTableBrowser browser(engine);
    Shown shown;
    BrowserEffects effects = browser.ShowTable(CString::FromUtf8((root / database / table).string()),
                                               CString::FromUtf8(table), CString::FromUtf8(database + "/" + table));
    shown.definitionRead = browser.m_bDefinitionRead;
    for (const ColumnInfo& c : engine.m_columns) shown.columns.push_back(c.m_strName.ToUtf8());
    auto take = [&] {
        for (const TableRow& row : engine.m_rows) {
            std::vector<std::string> cells;
            for (const ColumnInfo& c : row) cells.push_back(c.m_strValue.ToUtf8());
            shown.rows.push_back(std::move(cells));
        }
    };
    auto noteLosses = [&] {
        for (const CString& loss : effects.losses) shown.losses.push_back(loss.ToUtf8());
    };
    take();
    noteLosses();
    shown.pages = 1;
    // A damaged table that went on for ever would end here, and the test with it.
    while (effects.next != ButtonState::Disabled && shown.pages < 2000) {
        effects = browser.OnNextRecords();
        if (effects.listRefilled) take();
        noteLosses();
        ++shown.pages;
        if (!effects.accepted) break;
    }
    return shown;
}

// The server's rows of a table (expected/<db>/<table>.tsv): the cells of one column.
inline std::vector<std::string> ServerColumn(const std::string& database, const std::string& table, std::size_t column) {
    std::ifstream in(Expected() / database / (table + ".tsv"));
    std::vector<std::string> cells;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (header) {
            header = false;
            continue;
        }
        std::size_t start = 0;
        for (std::size_t i = 0; i < column && start != std::string::npos; ++i) {
            start = line.find('\t', start);
            if (start != std::string::npos) ++start;
        }
        if (start == std::string::npos) {
            cells.emplace_back();
            continue;
        }
        const std::size_t end = line.find('\t', start);
        cells.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
    }
    return cells;
}

inline std::vector<std::string> First(const std::vector<std::string>& v, std::size_t n) {
    return std::vector<std::string>(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(n, v.size())));
}

inline std::string Hex(const Bytes& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : bytes) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

}  // namespace damaged
