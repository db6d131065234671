#pragma once
// What the archiver modules share: reading their command lines, listing, and writing entries
// into a destination folder without ever leaving it. Plain C++ and libarchive, no Qt.

#include "arcapi.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

struct archive;

#define ARC_EXPORT extern "C" __attribute__((visibility("default")))

namespace arcbackend {

// ---- command lines --------------------------------------------------------------------------

struct Token {
    std::string text; // quotes removed
    bool quoted = false;
};

// Splits at spaces outside double quotes; quotes are removed and may sit anywhere in a token.
std::vector<Token> tokenize(const char *line);

struct Command {
    std::string word;                  // the command word, empty when the dialect has none
    std::vector<std::string> switches; // with their dash(es)
    std::string archive;
    std::string folder; // ends in "/", empty when none was given
    std::vector<std::string> files;
};

struct Dialect {
    bool hasCommandWord = true;
    // Quoted tokens before the archive name are switches only with one of these prefixes, so
    // that a quoted archive name starting with a dash stays a name.
    std::vector<std::string> quotedSwitches;
    // Switches whose value is the next token ("-f" archive and "-o" folder of the TAR style).
    std::string archiveSwitch, folderSwitch;
};

// Switches come first; the first other token is the archive, a following token ending in "/"
// the folder, the rest entry names. Everything after the archive is a name, even with a dash.
Command parseCommand(const char *line, const Dialect &dialect);

bool hasSwitch(const Command &cmd, const std::string &sw);

void writeReport(const std::string &text, char *output, uint32_t size);

// ---- listing --------------------------------------------------------------------------------

struct Entry {
    std::string name; // UTF-8, "/" between folders
    uint64_t size = 0;
    uint64_t packed = 0;
    uint32_t crc = 0;
    time_t mtime = 0;
    std::string method;
};

struct Listing {
    std::vector<Entry> entries;
    size_t next = 0;
    std::string wild;
};

HARC makeHandle(Listing listing);
int32_t findFirst(HARC arc, const char *wild, ArcIndividualInfo *info);
int32_t findNext(HARC arc, ArcIndividualInfo *info);
int32_t closeHandle(HARC arc);

// DOS wildcards ("*", "?", no case); "*.*" matches every name, with or without a dot.
bool wildMatch(const std::string &pattern, const std::string &name);

// True when one of the requested names (exact, or as a wildcard) matches; an empty request
// takes everything.
bool requested(const std::vector<std::string> &files, const std::string &name, std::vector<bool> &used);

// ---- libarchive families ----------------------------------------------------------------------

struct Family {
    const char *name;                // for reports
    void (*enable)(struct archive *); // formats and filters to read
    const char *options;              // archive_read_set_options, or nullptr
};

// Every regular file of the archive, or nullptr when it is no archive of the family. A damaged
// archive lists what comes before the damage.
HARC openArchive(const Family &family, const char *path);

struct ExtractJob {
    std::string archive;
    std::string folder; // existing destination folder
    std::vector<std::string> files;
    bool flat = false; // drop stored folders
};

// Writes the requested regular files into the folder; 0 when every one was written.
int32_t extract(const Family &family, const ExtractJob &job, std::string &report);

// ---- writing archives -------------------------------------------------------------------------

struct WriteJob {
    enum Format { Tar, TarGz, Zip } format = Tar;
    std::string archive;
    std::string base;               // folder the listed files are relative to ("" = as given)
    std::vector<std::string> files; // files or folders to add (folders with what they hold)
    std::vector<std::string> remove; // entries of the old archive to leave out (wildcards)
    bool keepOld = false;            // carry over the old archive's other entries
    bool flat = false;               // store file names without their folders
    int level = -1;                  // compression level, -1 for the default
};

// Writes the archive anew beside the old one and puts it in place only when all went well, so
// a failure leaves the old archive as it was. 0 on success.
int32_t writeArchive(const WriteJob &job, std::string &report);

// ---- safe writing ---------------------------------------------------------------------------

// The path under the destination an entry may take: with folders, or its last part only when
// flat. False for names that would leave it ("..", or nothing left).
bool safeRelativePath(const std::string &name, bool flat, std::string &rel);

// Creates rel under folder (creating subfolders, following no links) from what fill writes into
// the file descriptor it gets; the file appears complete or not at all. 0 on success. An entry
// of expectedSize bytes (when known, >= 0) that the folder's file system has no room for is
// not begun: a full temporary folder in memory would starve the whole machine.
int32_t writeUnder(const std::string &folder, const std::string &rel, int64_t expectedSize,
                   const std::function<bool(int fd)> &fill, std::string &report);

// Turns a raw Shift-JIS name into UTF-8 (for ZIP archives made on Japanese Windows).
std::string cp932ToUtf8(const std::string &raw);

} // namespace arcbackend
