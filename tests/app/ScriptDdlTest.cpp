#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "engine/TableDdl.h"

namespace fs = std::filesystem;

namespace {

// db.opt as servers write it (and as damage leaves it) gives the database's character set
// and collation; a missing or unusable one leaves the server's defaults, never text that
// would change the statement.
TEST(CreateDatabase, CharacterSetAndCollationComeFromDbOpt) {
    struct Case {
        const char* what;
        const char* dbOpt;  // nullptr: no db.opt
        const char16_t* name;
        bool read;
        std::string statement;
    };
    const Case cases[] = {
        {"server's own file", "default-character-set=latin1\ndefault-collation=latin1_german2_ci\n", u"shop", true,
         "CREATE DATABASE IF NOT EXISTS `shop` CHARACTER SET latin1 COLLATE latin1_german2_ci;\nUSE `shop`;\n"},
        {"CR LF line ends", "default-character-set=utf8mb4\r\ndefault-collation=utf8mb4_bin\r\n", u"a`b", true,
         "CREATE DATABASE IF NOT EXISTS `a``b` CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;\nUSE `a``b`;\n"},
        {"no db.opt", nullptr, u"enc db-\u00FC", false,
         "CREATE DATABASE IF NOT EXISTS `enc db-\xC3\xBC`;\nUSE `enc db-\xC3\xBC`;\n"},
        {"names that are no names", "default-character-set=utf8; DROP DATABASE x\ndefault-collation=\n", u"d", true,
         "CREATE DATABASE IF NOT EXISTS `d`;\nUSE `d`;\n"},
        {"empty file", "", u"d", false, "CREATE DATABASE IF NOT EXISTS `d`;\nUSE `d`;\n"},
    };
    const fs::path dir = fs::temp_directory_path() / ("dralvek-dbopt-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (const Case& c : cases) {
        const fs::path opt = dir / "db.opt";
        fs::remove(opt);
        if (c.dbOpt) std::ofstream(opt, std::ios::binary) << c.dbOpt;
        std::string charset, collation;
        EXPECT_EQ(ReadDbOpt(CString::FromUtf8(opt.string()), charset, collation), c.read) << c.what;
        EXPECT_EQ(BuildCreateDatabase(CString(c.name), charset, collation), c.statement) << c.what;
    }
    fs::remove_all(dir);
}

}  // namespace
