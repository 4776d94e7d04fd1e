#include "app/ViewTriggerSql.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/MySqlNames.h"
#include "platform/core/CodePage.h"

namespace {

// No definition file comes near this; a larger file is not read into memory.
constexpr std::uint64_t kMaxDefinitionFile = 64ull << 20;

constexpr const char16_t* kReplacement = u"\uFFFD";

bool ReadWholeFile(const CString& path, std::string& bytes, CString& problem) {
    const std::string native = path.ToUtf8();
    int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        problem = path + u" cannot be opened: " + CString::FromUtf8(std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        problem = path + u" is not a regular file";
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxDefinitionFile) {
        ::close(fd);
        problem = path + u" is too large for a definition file";
        return false;
    }
    bytes.clear();
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            problem = path + u" cannot be read: " + CString::FromUtf8(std::strerror(errno));
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes.append(chunk, static_cast<std::size_t>(n));
        if (bytes.size() > kMaxDefinitionFile) {
            problem = path + u" is too large for a definition file";
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

CString Ascii(std::string_view text) { return CString::FromUtf8(text); }

bool IsAscii(const CString& text) {
    for (char16_t c : text.View())
        if (c >= 0x80) return false;
    return true;
}

// Character set names as the server spells them, and the names iconv knows them by.
struct CharsetName {
    const char* server;
    const char* iconv;
};
constexpr CharsetName kCharsets[] = {
    {"armscii8", "ARMSCII-8"}, {"ascii", "ASCII"},         {"big5", "BIG5"},          {"cp1250", "CP1250"},
    {"cp1251", "CP1251"},      {"cp1256", "CP1256"},       {"cp1257", "CP1257"},      {"cp850", "CP850"},
    {"cp852", "CP852"},        {"cp866", "CP866"},         {"cp932", "CP932"},        {"eucjpms", "EUC-JP-MS"},
    {"euckr", "EUC-KR"},       {"gb2312", "GB2312"},       {"gbk", "GBK"},            {"geostd8", "GEORGIAN-PS"},
    {"greek", "ISO-8859-7"},   {"hebrew", "ISO-8859-8"},   {"koi8r", "KOI8-R"},       {"koi8u", "KOI8-U"},
    {"latin2", "ISO-8859-2"},  {"latin5", "ISO-8859-9"},   {"latin7", "ISO-8859-13"}, {"macce", "MAC-CENTRALEUROPE"},
    {"macroman", "MACINTOSH"}, {"sjis", "SHIFT_JIS"},      {"tis620", "TIS-620"},     {"ucs2", "UCS-2BE"},
    {"ujis", "EUC-JP"},        {"utf16", "UTF-16BE"},      {"utf16le", "UTF-16LE"},   {"utf32", "UTF-32BE"},
    {"cp1252", "CP1252"},
};

CString Utf8Text(std::string_view bytes, int& badBytes) {
    if (!codepage::IsValidUtf8(bytes.data(), bytes.size())) {
        // Count the replacement characters the conversion puts in.
        std::u16string text = codepage::Utf8ToUtf16(bytes.data(), bytes.size());
        for (char16_t c : text)
            if (c == 0xFFFD) ++badBytes;
        return CString(std::move(text));
    }
    return CString::FromUtf8(bytes);
}

bool IconvText(std::string_view bytes, const char* from, CString& out, int& badBytes) {
    iconv_t cd = ::iconv_open("UTF-16LE", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::u16string text;
    std::string buffer(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        std::size_t r = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const std::size_t produced = buffer.size() - outLeft;
        for (std::size_t i = 0; i + 1 < produced; i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(buffer[i]) |
                                                 (static_cast<unsigned char>(buffer[i + 1]) << 8)));
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or a sequence cut off at the end: one replacement per bad byte.
            text += kReplacement;
            ++badBytes;
            ++in;
            --inLeft;
        }
    }
    ::iconv_close(cd);
    out = CString(std::move(text));
    return true;
}

CString OneLine(const CString& text) {
    std::u16string s(text.View());
    for (char16_t& c : s)
        if (c == u'\n' || c == u'\r') c = u' ';
    return CString(std::move(s));
}

// A name written as the server writes it in a DEFINER clause: quoted with ` " or '
// (the quote doubled inside), or bare.
bool ReadDefinerPart(const std::u16string& s, std::size_t& i, std::u16string& part) {
    part.clear();
    if (i >= s.size()) return false;
    char16_t q = s[i];
    if (q == u'`' || q == u'"' || q == u'\'') {
        ++i;
        while (i < s.size()) {
            if (s[i] == q) {
                if (i + 1 < s.size() && s[i + 1] == q) {
                    part.push_back(q);
                    i += 2;
                    continue;
                }
                ++i;
                return true;
            }
            if (q != u'`' && s[i] == u'\\' && i + 1 < s.size()) ++i;
            part.push_back(s[i++]);
        }
        return false;
    }
    std::size_t start = i;
    while (i < s.size()) {
        char16_t c = s[i];
        bool word = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
                    c == u'$' || c == u'%' || c == u'.' || c == u'-' || c >= 0x80;
        if (!word) break;
        ++i;
    }
    part = s.substr(start, i - start);
    return i > start;
}

void SkipSpace(const std::u16string& s, std::size_t& i) {
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\n' || s[i] == u'\r')) ++i;
}

bool MatchWord(const std::u16string& s, std::size_t i, std::u16string_view word) {
    if (i + word.size() > s.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
        char16_t c = s[i + k];
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
        if (c != word[k]) return false;
    }
    std::size_t end = i + word.size();
    if (end < s.size()) {
        char16_t c = s[end];
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'$')
            return false;
    }
    return true;
}

struct TriggerStatement {
    bool hasCreate = false;
    bool hasDefiner = false;
    std::u16string user, host;
    std::u16string rest;  // from the TRIGGER keyword on
};

// CREATE [DEFINER = user[@host]] TRIGGER ...: the definer's quoted parts are skipped as
// a whole, so a definer named TRIGGER or a keyword in lower case cannot mislead.
TriggerStatement SplitTriggerStatement(const CString& statement) {
    TriggerStatement out;
    std::u16string s(statement.View());
    std::size_t i = 0;
    SkipSpace(s, i);
    if (!MatchWord(s, i, u"CREATE")) {
        out.rest = s.substr(i);
        return out;
    }
    out.hasCreate = true;
    i += 6;
    SkipSpace(s, i);
    std::size_t afterCreate = i;
    if (MatchWord(s, i, u"DEFINER")) {
        std::size_t j = i + 7;
        SkipSpace(s, j);
        bool ok = j < s.size() && s[j] == u'=';
        if (ok) {
            ++j;
            SkipSpace(s, j);
            ok = ReadDefinerPart(s, j, out.user);
        }
        if (ok) {
            std::size_t k = j;
            SkipSpace(s, k);
            if (k < s.size() && s[k] == u'@') {
                ++k;
                SkipSpace(s, k);
                ok = ReadDefinerPart(s, k, out.host);
                j = k;
            } else if (j + 1 < s.size() && s[j] == u'(' && s[j + 1] == u')') {
                j += 2;  // CURRENT_USER()
            }
        }
        if (ok) {
            out.hasDefiner = true;
            SkipSpace(s, j);
            i = j;
        } else {
            i = afterCreate;
        }
    }
    out.rest = s.substr(i);
    return out;
}

// The trigger's name as written after TRIGGER, quotes taken off; empty when none.
CString TriggerName(const TriggerStatement& parts) {
    if (!MatchWord(parts.rest, 0, u"TRIGGER")) return CString();
    std::size_t i = 7;
    SkipSpace(parts.rest, i);
    std::u16string name;
    if (!ReadDefinerPart(parts.rest, i, name)) return CString();
    return CString(std::move(name));
}

// "user@host" as the definers list holds it; the host holds no '@'.
void SplitDefiner(const CString& definer, std::u16string& user, std::u16string& host) {
    std::u16string d(definer.View());
    std::size_t at = d.rfind(u'@');
    if (at == std::u16string::npos) {
        user = d;
        host.clear();
    } else {
        user = d.substr(0, at);
        host = d.substr(at + 1);
    }
}

CString DefinerClause(const std::u16string& user, const std::u16string& host) {
    return u"DEFINER=" + QuoteIdentifier(user) + u"@" + QuoteIdentifier(host);
}

// SET lines that give an object its creation context, and the lines that restore the
// session afterwards.
struct SessionContext {
    CString before;
    CString after;
};

SessionContext CharsetContext(const std::string& clientCharset, const std::string& collation, const CString& text,
                              std::vector<CString>& problems, const CString& what) {
    SessionContext ctx;
    // A SET character_set_client holds only for text whose bytes are the same in every
    // client: plain ASCII. Other text is given as characters, for the client to send.
    const bool setClient = !clientCharset.empty() && IsAscii(text);
    if (setClient) {
        ctx.before += u"SET @saved_cs_client = @@character_set_client;\n";
        ctx.after += u"SET character_set_client = @saved_cs_client;\n";
    }
    if (!collation.empty()) {
        ctx.before += u"SET @saved_col_connection = @@collation_connection;\n";
        ctx.after += u"SET collation_connection = @saved_col_connection;\n";
    }
    if (setClient) ctx.before += u"SET character_set_client = " + Ascii(clientCharset) + u";\n";
    if (!collation.empty()) ctx.before += u"SET collation_connection = " + Ascii(collation) + u";\n";
    if (!clientCharset.empty() && !setClient && clientCharset.rfind("utf8", 0) != 0)
        problems.push_back(what + u" was written by a " + Ascii(clientCharset) +
                           u" client; its text is given as characters, so it is created with the client "
                           u"character set of the session that runs it");
    return ctx;
}

bool SafeName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

CString DecodeObjectText(const std::string& bytes, const std::string& charset, std::vector<CString>& problems,
                         const CString& what) {
    CString text;
    int bad = 0;
    if (charset.empty()) {
        DecodeClientText(bytes, "utf8mb4", text, bad);
        if (bad) {
            bad = 0;
            DecodeClientText(bytes, "latin1", text, bad);
            problems.push_back(what + u" names no client character set; its text is not UTF-8 and is read as latin1");
        } else {
            problems.push_back(what + u" names no client character set; its text is read as UTF-8");
        }
        return text;
    }
    if (!DecodeClientText(bytes, charset, text, bad))
        problems.push_back(what + u" names the unknown character set " + Ascii(charset) + u"; its text is read as " +
                           (bad ? u"latin1" : u"UTF-8"));
    else if (bad) {
        CString count;
        count.Format(u"%d", bad);
        problems.push_back(what + u": " + count + u" byte(s) are no " + Ascii(charset) +
                           u" character and show as U+FFFD");
    }
    return text;
}

ObjectSql Finish(ObjectSql result, const CString& body) {
    CString text;
    for (const CString& p : result.problems) text += u"-- Note: " + OneLine(p) + u"\n";
    text += body;
    result.text = std::move(text);
    return result;
}

}  // namespace

// ---------------------------------------------------------------- pieces

std::map<std::string, std::string> ParseDefinitionLines(std::string_view bytes) {
    std::map<std::string, std::string> values;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(pos, end - pos);
        pos = end + 1;
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) continue;
        values.emplace(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }
    return values;
}

std::string UnescapeFileValue(std::string_view raw, int& malformed) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (i + 1 >= raw.size()) {
            out.push_back(c);
            ++malformed;
            break;
        }
        char next = raw[++i];
        switch (next) {
        case '\\': out.push_back('\\'); break;
        case 'n': out.push_back('\n'); break;
        case '0': out.push_back('\0'); break;
        case 'z': out.push_back('\x1A'); break;
        case '\'': out.push_back('\''); break;
        default:
            out.push_back('\\');
            out.push_back(next);
            ++malformed;
        }
    }
    return out;
}

std::vector<std::string> ParseStringList(std::string_view raw, bool& damaged) {
    std::vector<std::string> items;
    std::size_t i = 0;
    int malformed = 0;
    while (i < raw.size()) {
        if (raw[i] == ' ') {
            ++i;
            continue;
        }
        if (raw[i] != '\'') {
            damaged = true;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < raw.size() && raw[j] != '\'') j += raw[j] == '\\' ? 2 : 1;
        if (j >= raw.size()) {
            damaged = true;
            items.push_back(UnescapeFileValue(raw.substr(i + 1), malformed));
            break;
        }
        items.push_back(UnescapeFileValue(raw.substr(i + 1, j - i - 1), malformed));
        i = j + 1;
    }
    if (malformed) damaged = true;
    return items;
}

std::vector<std::uint64_t> ParseNumberList(std::string_view raw, bool& damaged) {
    std::vector<std::uint64_t> numbers;
    std::size_t i = 0;
    while (i < raw.size()) {
        if (raw[i] == ' ') {
            ++i;
            continue;
        }
        std::uint64_t v = 0;
        bool any = false, overflow = false;
        while (i < raw.size() && raw[i] != ' ') {
            char c = raw[i++];
            if (c < '0' || c > '9') {
                damaged = true;
                any = false;
                while (i < raw.size() && raw[i] != ' ') ++i;
                break;
            }
            if (v > (UINT64_MAX - 9) / 10) overflow = true;
            v = v * 10 + static_cast<std::uint64_t>(c - '0');
            any = true;
        }
        if (overflow) damaged = true;
        numbers.push_back(any && !overflow ? v : 0);
    }
    return numbers;
}

bool DecodeClientText(std::string_view bytes, std::string_view charset, CString& out, int& badBytes) {
    if (charset.rfind("utf8", 0) == 0 && (charset == "utf8" || charset == "utf8mb3" || charset == "utf8mb4")) {
        out = Utf8Text(bytes, badBytes);
        return true;
    }
    // The server's latin1 is Windows-1252; binary bytes are shown the same way.
    if (charset == "latin1" || charset == "binary") {
        out = CString::FromAnsi(bytes.data(), bytes.size());
        return true;
    }
    for (const CharsetName& c : kCharsets)
        if (charset == c.server && IconvText(bytes, c.iconv, out, badBytes)) return true;
    int bad = 0;
    CString asUtf8 = Utf8Text(bytes, bad);
    if (bad == 0) {
        out = asUtf8;
    } else {
        out = CString::FromAnsi(bytes.data(), bytes.size());
        badBytes += bad;
    }
    return false;
}

std::string SqlModeNames(std::uint64_t mode, std::uint64_t& unknownBits) {
    static constexpr const char* kNames[] = {
        "REAL_AS_FLOAT", "PIPES_AS_CONCAT", "ANSI_QUOTES", "IGNORE_SPACE", "IGNORE_BAD_TABLE_OPTIONS",
        "ONLY_FULL_GROUP_BY", "NO_UNSIGNED_SUBTRACTION", "NO_DIR_IN_CREATE", "POSTGRESQL", "ORACLE", "MSSQL", "DB2",
        "MAXDB", "NO_KEY_OPTIONS", "NO_TABLE_OPTIONS", "NO_FIELD_OPTIONS", "MYSQL323", "MYSQL40", "ANSI",
        "NO_AUTO_VALUE_ON_ZERO", "NO_BACKSLASH_ESCAPES", "STRICT_TRANS_TABLES", "STRICT_ALL_TABLES",
        "NO_ZERO_IN_DATE", "NO_ZERO_DATE", "ALLOW_INVALID_DATES", "ERROR_FOR_DIVISION_BY_ZERO", "TRADITIONAL",
        "NO_AUTO_CREATE_USER", "HIGH_NOT_PRECEDENCE", "NO_ENGINE_SUBSTITUTION", "PAD_CHAR_TO_FULL_LENGTH",
        "EMPTY_STRING_IS_NULL", "SIMULTANEOUS_ASSIGNMENT", "TIME_ROUND_FRACTIONAL"};
    std::string names;
    unknownBits = 0;
    for (unsigned bit = 0; bit < 64; ++bit) {
        const std::uint64_t mask = std::uint64_t{1} << bit;
        if (!(mode & mask)) continue;
        if (bit < std::size(kNames)) {
            if (!names.empty()) names += ',';
            names += kNames[bit];
        } else {
            unknownBits |= mask;
        }
    }
    return names;
}

CString ChooseDelimiter(const CString& body) {
    static constexpr const char16_t* kCandidates[] = {u"$$", u";;", u"//", u"$$$", u"##", u"@@"};
    for (const char16_t* d : kCandidates)
        if (body.Find(CString(d)) < 0) return CString(d);
    // A body holding all of them: a longer run of dollars.
    CString d(u'$', 4);
    while (body.Find(d) >= 0) d += u'$';
    return d;
}

// ---------------------------------------------------------------- views

ObjectSql BuildViewSqlFromBytes(std::string_view bytes, const CString& viewName) {
    ObjectSql result;
    result.fileRead = true;
    const auto values = ParseDefinitionLines(bytes);
    auto get = [&](const char* key) -> const std::string* {
        auto it = values.find(key);
        return it == values.end() ? nullptr : &it->second;
    };
    const CString what = u"View " + viewName;

    int malformed = 0;
    CString query;
    const std::string* clientCs = get("client_cs_name");
    const std::string* collation = get("connection_cl_name");
    std::string charset = clientCs ? *clientCs : std::string();
    if (!charset.empty() && !SafeName(charset)) {
        result.problems.push_back(what + u": its client character set is damaged");
        charset.clear();
    }
    std::string coll = collation ? *collation : std::string();
    if (!coll.empty() && !SafeName(coll)) {
        result.problems.push_back(what + u": its connection collation is damaged");
        coll.clear();
    }
    if (const std::string* q = get("query")) {
        query = DecodeObjectText(UnescapeFileValue(*q, malformed), charset, result.problems, what);
    } else if (const std::string* body = get("view_body_utf8")) {
        result.problems.push_back(what + u" has no query line; its UTF-8 body is used");
        query = DecodeObjectText(UnescapeFileValue(*body, malformed), "utf8mb4", result.problems, what);
        charset = "utf8mb4";
    } else {
        result.problems.push_back(what + u" holds no query; nothing can recreate it");
        return Finish(std::move(result), CString());
    }
    if (malformed) result.problems.push_back(what + u": its query holds backslashes the server does not write");

    // MariaDB marks its files (mariadb-version=) and numbers MERGE 1 and TEMPTABLE 2;
    // MySQL's files number them the other way round.
    const char16_t* algorithm = u"UNDEFINED";
    if (const std::string* a = get("algorithm")) {
        const bool mariadb = get("mariadb-version") != nullptr;
        if (*a == "1") algorithm = mariadb ? u"MERGE" : u"TEMPTABLE";
        else if (*a == "2") algorithm = mariadb ? u"TEMPTABLE" : u"MERGE";
        else if (*a != "0") result.problems.push_back(what + u": unknown algorithm " + Ascii(*a) + u"; UNDEFINED is used");
    }
    CString definer;
    const std::string* user = get("definer_user");
    const std::string* host = get("definer_host");
    if (user && host) {
        int bad = 0;
        CString u, h;
        // Stored as they are, not escaped.
        DecodeClientText(*user, "utf8mb4", u, bad);
        DecodeClientText(*host, "utf8mb4", h, bad);
        definer = u" " + DefinerClause(std::u16string(u.View()), std::u16string(h.View()));
    } else {
        result.problems.push_back(what + u" names no definer; the view's creator becomes its definer");
    }
    CString security;
    if (const std::string* s = get("suid")) {
        if (*s == "0") security = u" SQL SECURITY INVOKER";
        else if (*s == "1" || *s == "2") security = u" SQL SECURITY DEFINER";
        else result.problems.push_back(what + u": unknown SQL SECURITY value " + Ascii(*s));
    }
    CString check;
    if (const std::string* c = get("with_check_option")) {
        if (*c == "1") check = u" WITH LOCAL CHECK OPTION";
        else if (*c == "2") check = u" WITH CASCADED CHECK OPTION";
        else if (*c != "0") result.problems.push_back(what + u": unknown check option " + Ascii(*c));
    }

    const CString create = u"CREATE ALGORITHM=" + CString(algorithm) + definer + security + u" VIEW " +
                           QuoteIdentifier(viewName.View()) + u" AS " + query + check + u";\n";
    SessionContext ctx = CharsetContext(charset, coll, create, result.problems, what);
    return Finish(std::move(result), ctx.before + create + ctx.after);
}

ObjectSql BuildViewSql(const CString& path) {
    CString file = path;
    int slash = file.ReverseFind(u'/');
    if (slash >= 0) file = file.Mid(slash + 1);
    int dot = file.ReverseFind(u'.');
    CString stored = dot >= 0 ? file.Left(dot) : file;
    std::string bytes;
    CString problem;
    if (!ReadWholeFile(path, bytes, problem)) {
        ObjectSql failed;
        failed.problems.push_back(problem);
        return failed;
    }
    return BuildViewSqlFromBytes(bytes, DecodeFileName(stored));
}

// ---------------------------------------------------------------- triggers

ObjectSql BuildTriggerSqlFromBytes(std::string_view bytes) {
    ObjectSql result;
    result.fileRead = true;
    const auto values = ParseDefinitionLines(bytes);
    auto list = [&](const char* key, bool& damaged) {
        auto it = values.find(key);
        return it == values.end() ? std::vector<std::string>() : ParseStringList(it->second, damaged);
    };
    auto present = [&](const char* key) { return values.find(key) != values.end(); };

    bool damaged = false;
    const std::vector<std::string> statements = list("triggers", damaged);
    if (damaged) result.problems.push_back(u"The trigger list is damaged; what could be read of it is shown");
    if (statements.empty()) {
        result.problems.push_back(u"The file holds no trigger");
        return Finish(std::move(result), CString());
    }
    bool listDamaged = false;
    const std::vector<std::string> definers = list("definers", listDamaged);
    const std::vector<std::string> clientCs = list("client_cs_names", listDamaged);
    const std::vector<std::string> collations = list("connection_cl_names", listDamaged);
    std::vector<std::uint64_t> modes;
    if (auto it = values.find("sql_modes"); it != values.end()) modes = ParseNumberList(it->second, listDamaged);
    if (listDamaged) result.problems.push_back(u"The lists beside the triggers are damaged");

    CString body;
    for (std::size_t n = 0; n < statements.size(); ++n) {
        CString what;
        what.Format(u"Trigger %d", static_cast<int>(n + 1));
        const std::size_t firstNote = result.problems.size();
        std::string charset = n < clientCs.size() ? clientCs[n] : std::string();
        if (!charset.empty() && !SafeName(charset)) {
            result.problems.push_back(what + u": its client character set is damaged");
            charset.clear();
        } else if (charset.empty() && present("client_cs_names")) {
            result.problems.push_back(what + u" has no client character set in the file");
        }
        std::string coll = n < collations.size() ? collations[n] : std::string();
        if (!SafeName(coll)) coll.clear();

        const CString statement = DecodeObjectText(statements[n], charset, result.problems, what);
        TriggerStatement parts = SplitTriggerStatement(statement);
        if (!parts.hasCreate) result.problems.push_back(what + u" does not begin with CREATE; it is shown as stored");
        if (parts.hasCreate && !MatchWord(parts.rest, 0, u"TRIGGER"))
            result.problems.push_back(what + u": no TRIGGER keyword after its definer; it is shown as stored");

        CString definer;
        CString listed;
        if (n < definers.size()) {
            int bad = 0;
            DecodeClientText(definers[n], "utf8mb4", listed, bad);
        }
        // Files of servers before definers were kept hold an empty entry or none.
        if (!listed.IsEmpty()) {
            std::u16string user, host;
            SplitDefiner(listed, user, host);
            // The statement's own clause splits a user name holding '@' correctly.
            if (parts.hasDefiner && parts.user + u"@" + parts.host == std::u16string(listed.View())) {
                user = parts.user;
                host = parts.host;
            }
            definer = DefinerClause(user, host) + u" ";
        } else if (parts.hasDefiner) {
            definer = DefinerClause(parts.user, parts.host) + u" ";
        } else {
            result.problems.push_back(what + u" names no definer; its creator becomes its definer");
        }

        CString create = parts.hasCreate ? u"CREATE " + definer + CString(parts.rest) : CString(parts.rest);
        CString modeLine;
        if (n < modes.size()) {
            std::uint64_t unknown = 0;
            std::string names = SqlModeNames(modes[n], unknown);
            if (unknown) {
                result.problems.push_back(what + u": its sql_mode holds bits without a name; it is set as a number");
                modeLine.Format(u"SET sql_mode = %llu;\n", static_cast<unsigned long long>(modes[n]));
            } else {
                modeLine = u"SET sql_mode = '" + Ascii(names) + u"';\n";
            }
        } else {
            result.problems.push_back(what + u" has no sql_mode in the file; the session's is used");
        }
        SessionContext ctx = CharsetContext(charset, coll, create, result.problems, what);
        const CString delimiter = ChooseDelimiter(create);
        if (!modeLine.IsEmpty()) body += u"SET @saved_sql_mode = @@sql_mode;\n";
        body += ctx.before + modeLine;
        body += u"DELIMITER " + delimiter + u"\n" + create + u"\n" + delimiter + u"\nDELIMITER ;\n";
        if (!modeLine.IsEmpty()) body += u"SET sql_mode = @saved_sql_mode;\n";
        body += ctx.after;

        // The notes name the trigger once its name is known.
        const CString name = TriggerName(parts);
        if (!name.IsEmpty())
            for (std::size_t k = firstNote; k < result.problems.size(); ++k)
                if (result.problems[k].Left(what.GetLength()) == what)
                    result.problems[k] = u"Trigger " + name + result.problems[k].Mid(what.GetLength());
    }
    return Finish(std::move(result), body);
}

ObjectSql BuildTriggerSql(const CString& path) {
    std::string bytes;
    CString problem;
    if (!ReadWholeFile(path, bytes, problem)) {
        ObjectSql failed;
        failed.problems.push_back(problem);
        return failed;
    }
    return BuildTriggerSqlFromBytes(bytes);
}
