#include "Families.h"

#include <archive.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace arcbackend {

static void enableLha(struct archive *a) { archive_read_support_format_lha(a); }
static void enableZip(struct archive *a) { archive_read_support_format_zip(a); }
static void enableCab(struct archive *a) { archive_read_support_format_cab(a); }
static void enableTar(struct archive *a)
{
    archive_read_support_format_tar(a);
    archive_read_support_filter_all(a);
}
static void enableRar(struct archive *a)
{
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
}

// LZH names are Shift-JIS as a rule; libarchive stops at the first such name without the hint.
const Family LhaFamily{"LHA", enableLha, "lha:hdrcharset=CP932"};
const Family ZipFamily{"ZIP", enableZip, nullptr};
const Family CabFamily{"CAB", enableCab, nullptr};
const Family TarFamily{"TAR", enableTar, nullptr};
const Family RarFamily{"RAR", enableRar, nullptr};

int32_t guarded(const std::function<int32_t()> &body)
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return ARC_ERROR_CANNOT_READ;
    } catch (...) {
        return ARC_ERROR_NOT_SUPPORT;
    }
}

HARC guardedOpen(const std::function<HARC()> &body)
{
    try {
        return body();
    } catch (...) {
        return nullptr;
    }
}

static std::string lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

static int32_t finish(int32_t result, const std::string &report, char *output, uint32_t size)
{
    writeReport(report, output, size);
    return result;
}

static int32_t extractWith(const Family &family, const Command &cmd, bool flat, char *output, uint32_t size)
{
    if (cmd.archive.empty())
        return finish(ARC_ERROR_ARC_FILE_OPEN, "no archive named\n", output, size);
    ExtractJob job{cmd.archive, cmd.folder.empty() ? std::string("./") : cmd.folder, cmd.files, flat};
    std::string report;
    const int32_t r = extract(family, job, report);
    return finish(r, report, output, size);
}

static int32_t unsupported(const std::string &word, char *output, uint32_t size)
{
    return finish(ARC_ERROR_NOT_SUPPORT, "command not supported: " + word + "\n", output, size);
}

// An LHA-style command word other than extraction: the writing ones are known but cannot be
// done here, anything else is no command at all.
static int32_t notExtraction(const std::string &word, char *output, uint32_t size)
{
    if (word == "a" || word == "u" || word == "m" || word == "f" || word == "d" || word == "s")
        return unsupported(word, output, size);
    return finish(ARC_ERROR_COMMAND_NAME, "unknown command: " + word + "\n", output, size);
}

static const Dialect &lhaDialect()
{
    static const Dialect d{true, {"-w", "-jo", "-job", "-jx", "-jz"}, {}, {}};
    return d;
}

int32_t runLha(const char *line, char *output, uint32_t size)
{
    const Command cmd = parseCommand(line, lhaDialect());
    const std::string word = lower(cmd.word);
    if (word == "x")
        return extractWith(LhaFamily, cmd, hasSwitch(cmd, "-x0"), output, size);
    if (word == "e")
        return extractWith(LhaFamily, cmd, true, output, size);
    return notExtraction(word, output, size); // libarchive writes no LZH
}

static const Dialect &switchDialect()
{
    static const Dialect d{true, {}, {}, {}};
    return d;
}

int32_t runUnzip(const char *line, char *output, uint32_t size)
{
    const Command cmd = parseCommand(line, switchDialect());
    if (cmd.word == "-x")
        return extractWith(ZipFamily, cmd, hasSwitch(cmd, "-j"), output, size);
    return finish(ARC_ERROR_COMMAND_NAME, "unknown command: " + cmd.word + "\n", output, size);
}

static int level(const Command &cmd, const std::string &prefix)
{
    for (const std::string &sw : cmd.switches)
        if (sw.size() > prefix.size() && sw.compare(0, prefix.size(), prefix) == 0 &&
            std::isdigit(static_cast<unsigned char>(sw[prefix.size()])))
            return std::atoi(sw.c_str() + prefix.size());
    return -1;
}

static int32_t writeWith(const WriteJob &job, char *output, uint32_t size)
{
    std::string report;
    const int32_t r = writeArchive(job, report);
    return finish(r, report, output, size);
}

int32_t runZip(const char *line, char *output, uint32_t size)
{
    // Creation and deletion: "-d" deletes, anything else adds ("-ru" makes anew).
    static const Dialect d{false, {"-jo", "-job"}, {}, {}};
    const Command cmd = parseCommand(line, d);
    WriteJob job;
    job.format = WriteJob::Zip;
    job.archive = cmd.archive;
    job.keepOld = true;
    job.level = level(cmd, "-#");
    if (hasSwitch(cmd, "-d")) {
        job.remove = cmd.files;
        if (job.remove.empty())
            return finish(ARC_ERROR_NOT_EXIST, "nothing to delete\n", output, size);
        return writeWith(job, output, size);
    }
    job.base = cmd.folder;
    job.files = cmd.files;
    job.flat = hasSwitch(cmd, "-j");
    return writeWith(job, output, size);
}

int32_t runCab(const char *line, char *output, uint32_t size)
{
    const Command cmd = parseCommand(line, switchDialect());
    if (cmd.word == "-x")
        return extractWith(CabFamily, cmd, hasSwitch(cmd, "-j"), output, size);
    if (cmd.word == "-a" || cmd.word == "-f")
        return unsupported(cmd.word, output, size); // libarchive writes no CAB
    return finish(ARC_ERROR_COMMAND_NAME, "unknown command: " + cmd.word + "\n", output, size);
}

int32_t runTar(const char *line, char *output, uint32_t size)
{
    static const Dialect d{true, {}, "-f", "-o"};
    const Command cmd = parseCommand(line, d);
    const std::string word = lower(cmd.word);
    if (word == "x" || word == "-x")
        return extractWith(TarFamily, cmd, hasSwitch(cmd, "--use-directory=0"), output, size);
    if (word == "c" || word == "-c") {
        WriteJob job;
        const bool gz = hasSwitch(cmd, "-z") || level(cmd, "-z") >= 0;
        job.format = gz ? WriteJob::TarGz : WriteJob::Tar;
        job.level = level(cmd, "-z");
        job.archive = cmd.archive;
        job.base = cmd.folder;
        job.files = cmd.files;
        job.flat = hasSwitch(cmd, "--use-directory=0");
        return writeWith(job, output, size);
    }
    return finish(ARC_ERROR_COMMAND_NAME, "unknown command: " + word + "\n", output, size);
}

int32_t runRar(const char *line, char *output, uint32_t size)
{
    const Command cmd = parseCommand(line, switchDialect());
    if (cmd.word == "-x" || cmd.word == "-e")
        return extractWith(RarFamily, cmd, cmd.word == "-e", output, size);
    return finish(ARC_ERROR_COMMAND_NAME, "unknown command: " + cmd.word + "\n", output, size);
}

// ---- ARJ through 7-Zip ----------------------------------------------------------------------

static std::string findProgram()
{
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (const char *name : {"7zz", "7z"}) {
        size_t start = 0;
        while (start <= dirs.size()) {
            size_t colon = dirs.find(':', start);
            if (colon == std::string::npos)
                colon = dirs.size();
            const std::string dir = dirs.substr(start, colon - start);
            if (!dir.empty()) {
                const std::string full = dir + "/" + name;
                if (access(full.c_str(), X_OK) == 0)
                    return full;
            }
            start = colon + 1;
        }
    }
    return {};
}

// Runs the program without a shell, its output into outFd (or collected into text when outFd
// is -1); true when it exits with 0.
static bool run7z(const std::vector<std::string> &args, int outFd, std::string *text)
{
    static const std::string program = findProgram();
    if (program.empty())
        return false;
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (outFd < 0 && pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd >= 0 ? outFd : pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (outFd < 0) {
        close(pipeFds[1]);
        if (spawned == 0) {
            char buf[65536];
            ssize_t n;
            while ((n = read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
                if (n > 0 && text)
                    text->append(buf, static_cast<size_t>(n));
        }
        close(pipeFds[0]);
    }
    if (spawned != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool parse7zListing(const std::string &text, Listing &listing)
{
    const size_t body = text.find("\n----------\n");
    if (body == std::string::npos)
        return false;
    Entry entry;
    bool folder = false, haveEntry = false;
    auto flush = [&] {
        if (haveEntry && !folder && !entry.name.empty())
            listing.entries.push_back(entry);
        entry = Entry();
        folder = haveEntry = false;
    };
    size_t pos = body + 12;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            eol = text.size();
        const std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        const size_t eq = line.find(" = ");
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 3);
        if (key == "Path") {
            flush();
            entry.name = value;
            haveEntry = true;
        } else if (key == "Folder") {
            folder = value == "+";
        } else if (key == "Size") {
            entry.size = std::strtoull(value.c_str(), nullptr, 10);
        } else if (key == "Packed Size") {
            entry.packed = std::strtoull(value.c_str(), nullptr, 10);
        } else if (key == "CRC") {
            entry.crc = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 16));
        } else if (key == "Method") {
            entry.method = "arj-m" + value;
        } else if (key == "Modified") {
            struct tm tm {};
            if (strptime(value.c_str(), "%Y-%m-%d %H:%M:%S", &tm)) {
                tm.tm_isdst = -1;
                entry.mtime = mktime(&tm);
            }
        }
    }
    flush();
    return true;
}

static bool listArj(const std::string &path, Listing &listing)
{
    std::string text;
    return run7z({"l", "-slt", "-tarj", "-sccUTF-8", "--", path}, -1, &text) && parse7zListing(text, listing);
}

HARC openArj(const char *path)
{
    Listing listing;
    if (!path || !listArj(path, listing))
        return nullptr;
    return makeHandle(std::move(listing));
}

int32_t runArj(const char *line, char *output, uint32_t size)
{
    const Command cmd = parseCommand(line, lhaDialect());
    const std::string word = lower(cmd.word);
    if (word != "x" && word != "e")
        return notExtraction(word, output, size);
    const bool flat = word == "e" || hasSwitch(cmd, "-x0");
    const std::string folder = cmd.folder.empty() ? std::string("./") : cmd.folder;
    std::string report;
    Listing listing;
    if (cmd.archive.empty() || !listArj(cmd.archive, listing))
        return finish(ARC_ERROR_ARC_FILE_OPEN, "cannot open " + cmd.archive + "\n", output, size);
    std::vector<bool> used(cmd.files.size(), false);
    int32_t result = ARC_OK;
    for (const Entry &e : listing.entries) {
        if (!requested(cmd.files, e.name, used))
            continue;
        std::string rel;
        if (!safeRelativePath(e.name, flat, rel)) {
            report += "refused: " + e.name + "\n";
            result = ARC_ERROR_UNSAFE_NAME;
            continue;
        }
        // The entry's bytes go straight into the file we made; 7-Zip itself writes nothing.
        const int32_t w = writeUnder(folder, rel, int64_t(e.size), [&](int fd) {
            return run7z({"e", "-so", "-tarj", "-spd", "-sccUTF-8", "--", cmd.archive, e.name}, fd, nullptr);
        }, report);
        if (w != ARC_OK)
            result = w == ARC_ERROR_DISK_SPACE ? w : ARC_ERROR_CANNOT_READ;
    }
    for (size_t i = 0; i < used.size(); ++i)
        if (!used[i]) {
            report += "not found: " + cmd.files[i] + "\n";
            if (result == ARC_OK)
                result = ARC_ERROR_NOT_EXIST;
        }
    return finish(result, report, output, size);
}

} // namespace arcbackend
