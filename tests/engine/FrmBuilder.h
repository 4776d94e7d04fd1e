#pragma once

// Builds small .frm images for edge cases no server writes, and for damaged files.
// The layout follows the server's: header, extra block, form position, key section,
// form information, screen, field records, names, element lists, comments.

#include <cstdint>
#include <string>
#include <vector>

namespace frmtest {

struct Field {
    std::string name;
    std::uint8_t type = 3;
    std::uint16_t length = 11;
    std::uint16_t pack = 0;
    std::uint16_t charset = 8;
    std::uint8_t interval = 0;  // 1-based element list, 0 = none
    std::string comment;
    std::uint32_t recordPos = 0;  // 0: assigned in order
};

struct KeyPart {
    std::uint16_t fieldNr = 1;  // 1-based
    std::uint16_t length = 4;
};

struct Key {
    std::string name;
    bool unique = false;
    std::vector<KeyPart> parts;
    std::string comment;
};

struct Image {
    std::string bytes;
    std::uint32_t keyPos = 0;
    std::uint32_t formPos = 0;
    std::uint32_t fieldBlockPos = 0;  // first byte after the form information
    std::uint32_t recordsPos = 0;
    std::uint32_t namesPos = 0;
    std::uint32_t intervalsPos = 0;
    std::uint32_t commentsPos = 0;

    void Put16(std::size_t at, std::uint32_t v) {
        bytes[at] = static_cast<char>(v & 0xFF);
        bytes[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    }
    void Put32(std::size_t at, std::uint32_t v) {
        Put16(at, v & 0xFFFF);
        Put16(at + 2, v >> 16);
    }
};

inline void Append16(std::string& s, std::uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

inline std::string NameListBytes(const std::vector<std::string>& names, char separator = '\xFF') {
    if (names.empty()) return std::string(1, '\0');
    std::string s(1, separator);
    for (const std::string& n : names) s += n + separator;
    s.push_back('\0');
    return s;
}

struct Builder {
    std::uint8_t version = 10;
    std::uint8_t dbType = 9;
    std::uint16_t createOptions = 0;
    std::uint8_t nullFlagsByte = 0;  // header byte 32: 0 = null flags first
    std::uint16_t tableCharset = 45;
    std::uint32_t mysqlVersion = 101106;
    std::uint16_t screenLength = 7;
    std::uint16_t recordLength = 0;  // 0: computed
    int nullFields = -1;             // -1: counted from the pack flags
    std::vector<Field> fields;
    std::vector<std::vector<std::string>> intervals;
    std::vector<Key> keys;

    Image Build() const {
        const bool wide = version >= 9;
        const std::size_t recordSize = wide ? 17 : 11;
        Image img;
        std::string& b = img.bytes;
        b.assign(64, '\0');
        b[0] = '\xFE';
        b[1] = '\x01';
        b[2] = static_cast<char>(version);
        b[3] = static_cast<char>(dbType);
        const std::uint32_t extraLength = 5;
        img.Put16(4, extraLength);
        img.Put16(8, 1);
        img.Put16(30, createOptions);
        b[32] = static_cast<char>(nullFlagsByte);
        b[38] = static_cast<char>(tableCharset & 0xFF);
        b[41] = static_cast<char>(tableCharset >> 8);
        img.Put32(51, mysqlVersion);
        b += std::string(extraLength, '\x01');
        const std::size_t formPosAt = b.size();
        b += std::string(4, '\0');

        // Key section.
        img.keyPos = static_cast<std::uint32_t>(b.size());
        std::string k;
        std::size_t totalParts = 0;
        for (const Key& key : keys) totalParts += key.parts.size();
        if (keys.size() < 128 && totalParts < 256) {
            k.push_back(static_cast<char>(keys.size()));
            k.push_back(static_cast<char>(totalParts));
            Append16(k, 0);
        } else {
            k.push_back(static_cast<char>(0x80 | (keys.size() & 0x7F)));
            k.push_back(static_cast<char>(keys.size() >> 7));
            Append16(k, static_cast<std::uint32_t>(totalParts));
        }
        std::vector<std::string> keyNames;
        for (const Key& key : keys) keyNames.push_back(key.name);
        const std::string keyNameBytes = NameListBytes(keyNames);
        Append16(k, static_cast<std::uint32_t>(keyNameBytes.size()));
        for (const Key& key : keys) {
            std::uint16_t flags = key.unique ? 0 : 1;  // stored inverted
            if (!key.comment.empty()) flags |= 0x1000;
            if (wide) {
                Append16(k, flags);
                Append16(k, 4);
                k.push_back(static_cast<char>(key.parts.size()));
                k.push_back(0);
                Append16(k, 0);
            } else {
                k.push_back(static_cast<char>(flags & 0xFF));
                Append16(k, 4);
                k.push_back(static_cast<char>(key.parts.size()));
            }
            for (const KeyPart& p : key.parts) {
                Append16(k, 0x8000u | p.fieldNr);
                Append16(k, 1);
                if (version >= 7) {
                    k.push_back(0);
                    Append16(k, 0);
                    Append16(k, p.length);
                } else {
                    k.push_back(static_cast<char>(p.length));
                    Append16(k, 0);
                }
            }
        }
        k += keyNameBytes;
        for (const Key& key : keys) {
            if (key.comment.empty()) continue;
            Append16(k, static_cast<std::uint32_t>(key.comment.size()));
            k += key.comment;
        }
        b += k;
        img.Put16(6, img.keyPos);
        img.Put16(28, static_cast<std::uint32_t>(k.size()));

        // Form information.
        img.formPos = static_cast<std::uint32_t>(b.size());
        img.Put32(formPosAt, img.formPos);
        std::string fi(288, '\0');
        std::vector<std::string> fieldNames;
        std::string intervalBytes;
        std::size_t elementCount = 0;
        for (const auto& list : intervals) {
            intervalBytes += NameListBytes(list);
            elementCount += list.size();
        }
        std::string comments;
        std::uint32_t nullable = 0;
        std::uint32_t pos = 1;
        std::string records;
        for (const Field& f : fields) {
            fieldNames.push_back(f.name);
            if (f.pack & 0x8000) ++nullable;
            const std::uint32_t at = f.recordPos ? f.recordPos : pos;
            pos += f.length;
            std::string r(recordSize, '\0');
            if (wide) {
                r[3] = static_cast<char>(f.length & 0xFF);
                r[4] = static_cast<char>(f.length >> 8);
                r[5] = static_cast<char>(at & 0xFF);
                r[6] = static_cast<char>((at >> 8) & 0xFF);
                r[7] = static_cast<char>((at >> 16) & 0xFF);
                r[8] = static_cast<char>(f.pack & 0xFF);
                r[9] = static_cast<char>(f.pack >> 8);
                r[11] = static_cast<char>(f.charset >> 8);
                r[12] = static_cast<char>(f.interval);
                r[13] = static_cast<char>(f.type);
                r[14] = static_cast<char>(f.charset & 0xFF);
                r[15] = static_cast<char>(f.comment.size() & 0xFF);
                r[16] = static_cast<char>(f.comment.size() >> 8);
                comments += f.comment;
            } else {
                r[3] = static_cast<char>(f.length & 0xFF);
                r[4] = static_cast<char>(at & 0xFF);
                r[5] = static_cast<char>((at >> 8) & 0xFF);
                r[6] = static_cast<char>(f.pack & 0xFF);
                r[7] = static_cast<char>(f.pack >> 8);
            }
            records += r;
        }
        const std::string nameBytes = NameListBytes(fieldNames);
        auto put16 = [&fi](std::size_t at, std::size_t v) {
            fi[at] = static_cast<char>(v & 0xFF);
            fi[at + 1] = static_cast<char>((v >> 8) & 0xFF);
        };
        put16(258, fields.size());
        put16(260, screenLength);
        put16(266, recordLength ? recordLength : pos);
        put16(268, nameBytes.size());
        put16(270, intervals.size());
        put16(272, elementCount);
        put16(274, intervalBytes.size());
        put16(282, nullFields >= 0 ? static_cast<std::uint32_t>(nullFields) : nullable);
        put16(284, comments.size());
        b += fi;
        img.fieldBlockPos = static_cast<std::uint32_t>(b.size());
        b += std::string(screenLength, '\x20');
        img.recordsPos = static_cast<std::uint32_t>(b.size());
        b += records;
        img.namesPos = static_cast<std::uint32_t>(b.size());
        b += nameBytes;
        img.intervalsPos = static_cast<std::uint32_t>(b.size());
        b += intervalBytes;
        img.commentsPos = static_cast<std::uint32_t>(b.size());
        b += comments;
        return img;
    }
};

}  // namespace frmtest
