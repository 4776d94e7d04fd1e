#pragma once

// What every fuzz target shares: a private folder on a memory file system for the files
// an input becomes, the application object, the fixed corpus files the targets pair the
// input with, and the page-pack form in which tablespace inputs stay small.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/DralvekOstruneApp.h"
#include "engine/TableEngine.h"

namespace fuzz {

using Bytes = std::vector<unsigned char>;

// The process's own folder (created on first use, removed at exit): under
// $DRALVEK_FUZZ_TMP, else /dev/shm, else $TMPDIR or /tmp.
const std::string& WorkDir();

// The application object of the process, its per-input state reset: not busy, no resume,
// display mode unless save is set (then the save folder is <WorkDir>/save, with an empty
// blobdata folder in it).
CDralvekOstruneApp& ResetApp(bool save);

// A file of the unpacked real-server corpus (path relative to it); the process stops
// when it is missing, since every input would then test nothing.
const Bytes& CorpusFile(const std::string& relative);

void WriteFile(const std::string& path, const unsigned char* data, std::size_t size);
inline void WriteFile(const std::string& path, const Bytes& bytes) { WriteFile(path, bytes.data(), bytes.size()); }
void MakeDirs(const std::string& path);
// Removes every file in folder (not the folder).
void EmptyFolder(const std::string& folder);

// Tablespace inputs: records of [page number, 2 bytes big-endian][length, 2 bytes]
// [length bytes], each the start of that page (the rest of the page is zero; a later
// record for the same page replaces it). A length past the input takes what is left; a
// length above the page size, or a page at or beyond maxPages, is cut or dropped.
struct PackedPage {
    std::uint32_t number = 0;
    const unsigned char* data = nullptr;
    std::uint32_t size = 0;
};
std::vector<PackedPage> UnpackPages(const unsigned char* data, std::size_t size, std::uint32_t maxPages);
// Writes the pages as a sparse tablespace file of (highest page + 1) whole pages; an
// input without pages gives an empty file.
void WriteTablespace(const std::string& path, const std::vector<PackedPage>& pages);
// The record of one page, as the seed maker writes it.
void AppendPackedPage(Bytes& out, std::uint32_t number, const unsigned char* data, std::uint32_t size);

// How a table is read in the program: the definition and the first page of rows (or the
// key list), then Next Records to the end and Previous Records back, as the window's
// buttons would. dictionary: load <dataDir>/ibdata1 first, as the folder scan does.
struct TableRun {
    std::size_t rows = 0;
    std::size_t pages = 0;
};
TableRun ReadWholeTable(const std::string& dataDir, const std::string& database, const std::string& table,
                        bool dictionary, bool keys);
// The same with an engine that lives on, as the window's does from one table to the next.
TableRun ReadWholeTable(CTableEngine& engine, const std::string& dataDir, const std::string& database,
                        const std::string& table, bool keys);

}  // namespace fuzz
