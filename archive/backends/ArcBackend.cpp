#include "ArcBackend.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <random>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace arcbackend {

// ---- command lines --------------------------------------------------------------------------

std::vector<Token> tokenize(const char *line)
{
    std::vector<Token> tokens;
    if (!line)
        return tokens;
    const char *p = line;
    while (*p) {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!*p)
            break;
        Token t;
        bool inQuote = false;
        while (*p && (inQuote || (*p != ' ' && *p != '\t'))) {
            if (*p == '"') {
                inQuote = !inQuote;
                t.quoted = true;
            } else {
                t.text += *p;
            }
            ++p;
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

static bool startsWith(const std::string &s, const std::string &prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

Command parseCommand(const char *line, const Dialect &dialect)
{
    Command cmd;
    std::vector<Token> tokens = tokenize(line);
    size_t i = 0;
    if (dialect.hasCommandWord && i < tokens.size())
        cmd.word = tokens[i++].text;
    bool haveArchive = false;
    std::vector<std::string> positional;
    for (; i < tokens.size(); ++i) {
        const Token &t = tokens[i];
        if (!haveArchive && !t.text.empty() && t.text[0] == '-') {
            bool isSwitch = !t.quoted;
            for (const std::string &q : dialect.quotedSwitches)
                isSwitch = isSwitch || startsWith(t.text, q);
            if (isSwitch) {
                if (!dialect.archiveSwitch.empty() && t.text == dialect.archiveSwitch) {
                    if (i + 1 < tokens.size()) {
                        cmd.archive = tokens[++i].text;
                        haveArchive = true;
                    }
                } else if (!dialect.folderSwitch.empty() && t.text == dialect.folderSwitch) {
                    if (i + 1 < tokens.size())
                        cmd.folder = tokens[++i].text;
                } else {
                    cmd.switches.push_back(t.text);
                }
                continue;
            }
        }
        if (t.text.empty())
            continue; // what an empty user option or file list leaves
        if (!dialect.archiveSwitch.empty()) {
            // TAR style: the archive and folder come with their switches; the rest are names.
            if (t.text == dialect.folderSwitch && i + 1 < tokens.size()) {
                cmd.folder = tokens[++i].text;
                continue;
            }
            cmd.files.push_back(t.text);
            continue;
        }
        positional.push_back(t.text);
        haveArchive = true;
    }
    if (dialect.archiveSwitch.empty() && !positional.empty()) {
        cmd.archive = positional[0];
        size_t first = 1;
        if (positional.size() > 1 && (positional[1].back() == '/' || positional[1].back() == '\\')) {
            cmd.folder = positional[1];
            first = 2;
        }
        cmd.files.assign(positional.begin() + first, positional.end());
    }
    return cmd;
}

bool hasSwitch(const Command &cmd, const std::string &sw)
{
    return std::find(cmd.switches.begin(), cmd.switches.end(), sw) != cmd.switches.end();
}

void writeReport(const std::string &text, char *output, uint32_t size)
{
    if (!output || size == 0)
        return;
    const size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(output, text.data(), n);
    output[n] = '\0';
}

// ---- listing --------------------------------------------------------------------------------

} // namespace arcbackend

struct ArcHandleRec {
    arcbackend::Listing listing;
};

namespace arcbackend {

HARC makeHandle(Listing listing)
{
    auto *h = new ::ArcHandleRec;
    h->listing = std::move(listing);
    return h;
}

static int caseFold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

static bool wildMatchAt(const char *p, const char *s)
{
    // Iterative with one backtrack point: linear enough for hostile names.
    const char *starP = nullptr, *starS = nullptr;
    while (*s) {
        if (*p == '*') {
            starP = p++;
            starS = s;
        } else if (*p == '?' || (*p && caseFold(*p) == caseFold(*s))) {
            ++p;
            ++s;
        } else if (starP) {
            p = starP + 1;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return !*p;
}

bool wildMatch(const std::string &pattern, const std::string &name)
{
    if (pattern.empty() || pattern == "*.*" || pattern == "*")
        return true;
    return wildMatchAt(pattern.c_str(), name.c_str());
}

bool requested(const std::vector<std::string> &files, const std::string &name, std::vector<bool> &used)
{
    if (files.empty())
        return true;
    bool hit = false;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string &f = files[i];
        const bool wild = f.find_first_of("*?") != std::string::npos;
        if (f == name || (wild && wildMatch(f, name))) {
            used[i] = true;
            hit = true;
        }
    }
    return hit;
}

static void fillInfo(const Entry &e, ArcIndividualInfo *info)
{
    std::memset(info, 0, sizeof *info);
    info->dwOriginalSize = static_cast<uint32_t>(std::min<uint64_t>(e.size, UINT32_MAX));
    info->dwCompressedSize = static_cast<uint32_t>(std::min<uint64_t>(e.packed, UINT32_MAX));
    info->dwCRC = e.crc;
    if (e.size > 0 && e.packed > 0)
        info->wRatio = static_cast<uint16_t>(std::min<uint64_t>(e.packed * 1000 / e.size, 65535));
    struct tm tm {};
    if (e.mtime > 0 && localtime_r(&e.mtime, &tm) && tm.tm_year >= 80) {
        info->wDate = static_cast<uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
        info->wTime = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    }
    // Cut an over-long name at a character boundary.
    size_t n = std::min<size_t>(e.name.size(), ARC_FNAME_MAX);
    while (n > 0 && n < e.name.size() && (static_cast<unsigned char>(e.name[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(info->szFileName, e.name.data(), n);
    std::strncpy(info->szMode, e.method.c_str(), sizeof info->szMode - 1);
    std::strncpy(info->szAttribute, "-a--", sizeof info->szAttribute - 1);
}

static int32_t findFrom(HARC arc, ArcIndividualInfo *info)
{
    if (!arc || !info)
        return -1;
    Listing &l = arc->listing;
    while (l.next < l.entries.size()) {
        const Entry &e = l.entries[l.next++];
        if (wildMatch(l.wild, e.name)) {
            fillInfo(e, info);
            return 0;
        }
    }
    return -1;
}

int32_t findFirst(HARC arc, const char *wild, ArcIndividualInfo *info)
{
    if (!arc)
        return -1;
    arc->listing.next = 0;
    arc->listing.wild = wild ? wild : "";
    return findFrom(arc, info);
}

int32_t findNext(HARC arc, ArcIndividualInfo *info)
{
    return findFrom(arc, info);
}

int32_t closeHandle(HARC arc)
{
    delete arc;
    return 0;
}

// ---- names ----------------------------------------------------------------------------------

std::string cp932ToUtf8(const std::string &raw)
{
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return raw;
    std::string out(raw.size() * 3 + 4, '\0');
    char *src = const_cast<char *>(raw.data());
    size_t inLeft = raw.size();
    char *dst = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &src, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        // Keep going past a byte that is no Shift-JIS.
        *dst++ = '?';
        --outLeft;
        ++src;
        --inLeft;
    }
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

static std::string entryName(struct archive_entry *e)
{
    if (const char *u8 = archive_entry_pathname_utf8(e))
        return u8;
    if (const char *raw = archive_entry_pathname(e))
        return cp932ToUtf8(raw);
    return {};
}

bool safeRelativePath(const std::string &name, bool flat, std::string &rel)
{
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i <= name.size(); ++i) {
        const char c = i < name.size() ? name[i] : '/';
        if (c == '/' || c == '\\') {
            if (!part.empty() && part != ".")
                parts.push_back(part);
            part.clear();
        } else if (c == '\0') {
            return false;
        } else {
            part += c;
        }
    }
    if (parts.empty())
        return false;
    if (flat)
        parts.erase(parts.begin(), parts.end() - 1);
    rel.clear();
    for (const std::string &p : parts) {
        if (p == "..")
            return false;
        if (!rel.empty())
            rel += '/';
        rel += p;
    }
    return true;
}

int32_t writeUnder(const std::string &folder, const std::string &rel, int64_t expectedSize,
                   const std::function<bool(int fd)> &fill, std::string &report)
{
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        report += "cannot open folder " + folder + "\n";
        return ARC_ERROR_CANNOT_WRITE;
    }
    // Walk the folders one by one, making each and following no link on the way.
    size_t start = 0;
    for (size_t slash; (slash = rel.find('/', start)) != std::string::npos; start = slash + 1) {
        const std::string part = rel.substr(start, slash - start);
        if (mkdirat(dir, part.c_str(), 0700) != 0 && errno != EEXIST) {
            close(dir);
            report += "cannot make folder " + part + "\n";
            return ARC_ERROR_CANNOT_WRITE;
        }
        const int sub = openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(dir);
        if (sub < 0) {
            report += "cannot enter folder " + part + "\n";
            return ARC_ERROR_UNSAFE_NAME;
        }
        dir = sub;
    }
    const std::string leaf = rel.substr(start);
    struct statvfs fs {};
    if (expectedSize > 0 && fstatvfs(dir, &fs) == 0 &&
        uint64_t(expectedSize) > uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize)) {
        close(dir);
        report += "no room for " + rel + ": " + std::strerror(ENOSPC) + "\n";
        return ARC_ERROR_DISK_SPACE;
    }
    static thread_local std::mt19937 rng{std::random_device{}()};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = ".arc" + std::to_string(rng()) + ".part";
        fd = openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        close(dir);
        report += "cannot create " + rel + "\n";
        return ARC_ERROR_CANNOT_WRITE;
    }
    errno = 0;
    bool ok = fill(fd);
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    // The rename replaces a link of the same name itself, never what it points at.
    if (ok && renameat(dir, temp.c_str(), dir, leaf.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlinkat(dir, temp.c_str(), 0);
        close(dir);
        report += "cannot write " + rel + (err ? std::string(": ") + std::strerror(err) : std::string()) + "\n";
        return err == ENOSPC || err == EFBIG || err == EDQUOT ? ARC_ERROR_DISK_SPACE : ARC_ERROR_CANNOT_WRITE;
    }
    close(dir);
    return ARC_OK;
}

// ---- libarchive families ----------------------------------------------------------------------

static struct archive *openReader(const Family &family, const char *path)
{
    struct archive *a = archive_read_new();
    family.enable(a);
    if (family.options)
        archive_read_set_options(a, family.options);
    if (archive_read_open_filename(a, path, 64 * 1024) != ARCHIVE_OK) {
        archive_read_free(a);
        return nullptr;
    }
    return a;
}

HARC openArchive(const Family &family, const char *path)
{
    if (!path)
        return nullptr;
    struct archive *a = openReader(family, path);
    if (!a)
        return nullptr;
    Listing listing;
    struct archive_entry *e;
    bool any = false;
    int r;
    while ((r = archive_read_next_header(a, &e)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        any = true;
        if (archive_entry_filetype(e) != AE_IFREG || archive_entry_hardlink(e))
            continue;
        Entry entry;
        entry.name = entryName(e);
        if (entry.name.empty())
            continue;
        entry.size = archive_entry_size_is_set(e) ? static_cast<uint64_t>(archive_entry_size(e)) : 0;
        entry.mtime = archive_entry_mtime(e);
        if (const char *fmt = archive_format_name(a)) {
            // "lha -lh5-" and the like: the method is the last word.
            const char *sp = std::strrchr(fmt, ' ');
            entry.method = sp ? sp + 1 : fmt;
        }
        listing.entries.push_back(std::move(entry));
    }
    // An archive is what yields at least one header, or ends cleanly (an empty one).
    const bool archive = any || r == ARCHIVE_EOF;
    archive_read_free(a);
    return archive ? makeHandle(std::move(listing)) : nullptr;
}

int32_t extract(const Family &family, const ExtractJob &job, std::string &report)
{
    struct archive *a = openReader(family, job.archive.c_str());
    if (!a) {
        report += "cannot open " + job.archive + "\n";
        return ARC_ERROR_ARC_FILE_OPEN;
    }
    std::vector<bool> used(job.files.size(), false);
    int32_t result = ARC_OK;
    bool any = false;
    struct archive_entry *e;
    int r;
    while ((r = archive_read_next_header(a, &e)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        any = true;
        const std::string name = entryName(e);
        if (!requested(job.files, name, used))
            continue;
        const auto type = archive_entry_filetype(e);
        if (type == AE_IFDIR)
            continue; // folders appear with the files in them
        std::string rel;
        if (type != AE_IFREG || archive_entry_hardlink(e) || !safeRelativePath(name, job.flat, rel)) {
            report += "refused: " + name + "\n";
            result = ARC_ERROR_UNSAFE_NAME;
            continue;
        }
        if (archive_entry_is_encrypted(e)) {
            report += "encrypted: " + name + "\n";
            result = ARC_ERROR_CANNOT_READ;
            continue;
        }
        bool readFailed = false;
        const int64_t size = archive_entry_size_is_set(e) ? int64_t(archive_entry_size(e)) : -1;
        const int32_t w = writeUnder(job.folder, rel, size, [&](int fd) {
            const void *buf;
            size_t size;
            la_int64_t offset;
            la_int64_t written = 0;
            int rr;
            while ((rr = archive_read_data_block(a, &buf, &size, &offset)) == ARCHIVE_OK) {
                if (offset > written && lseek(fd, offset, SEEK_SET) < 0)
                    return false; // a sparse hole
                const char *p = static_cast<const char *>(buf);
                for (size_t left = size; left > 0;) {
                    const ssize_t n = write(fd, p, left);
                    if (n < 0 && errno == EINTR)
                        continue;
                    if (n <= 0)
                        return false;
                    p += n;
                    left -= static_cast<size_t>(n);
                }
                written = offset + static_cast<la_int64_t>(size);
            }
            if (rr != ARCHIVE_EOF) {
                readFailed = true;
                return false;
            }
            return ftruncate(fd, written) == 0 || written == 0;
        }, report);
        if (w != ARC_OK) {
            result = readFailed ? ARC_ERROR_CANNOT_READ : w;
            if (readFailed)
                report += std::string("damaged: ") + name + "\n";
            if (readFailed && r == ARCHIVE_FATAL)
                break;
        }
    }
    if (r == ARCHIVE_FATAL) {
        const char *why = archive_error_string(a);
        report += std::string("stopped: ") + (why ? why : "damaged archive") + "\n";
        if (result == ARC_OK)
            result = any ? ARC_ERROR_CANNOT_READ : ARC_ERROR_NOT_ARC_FILE;
    }
    archive_read_free(a);
    for (size_t i = 0; i < used.size(); ++i)
        if (!used[i]) {
            report += "not found: " + job.files[i] + "\n";
            if (result == ARC_OK)
                result = ARC_ERROR_NOT_EXIST;
        }
    return result;
}

} // namespace arcbackend

// ---- writing archives -----------------------------------------------------------------------

namespace arcbackend {

static bool copyData(struct archive *from, struct archive *to)
{
    const void *buf;
    size_t size;
    la_int64_t offset;
    int r;
    while ((r = archive_read_data_block(from, &buf, &size, &offset)) == ARCHIVE_OK)
        if (archive_write_data(to, buf, size) < 0)
            return false;
    return r == ARCHIVE_EOF;
}

// Adds one file, or a folder with everything below it, under the entry name given.
static bool addPath(struct archive *out, const std::string &path, const std::string &name, bool flat,
                    std::vector<std::string> &added, std::string &report, int depth = 0)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        report += "not found: " + path + "\n";
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        if (depth > 64)
            return false;
        std::vector<std::string> children;
        if (DIR *d = opendir(path.c_str())) {
            while (struct dirent *de = readdir(d))
                if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0)
                    children.push_back(de->d_name);
            closedir(d);
        }
        std::sort(children.begin(), children.end());
        bool ok = true;
        for (const std::string &c : children)
            ok = addPath(out, path + "/" + c, flat ? c : name + "/" + c, flat, added, report, depth + 1) && ok;
        return ok;
    }
    if (!S_ISREG(st.st_mode))
        return true; // links and devices are not archived
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        report += "cannot read: " + path + "\n";
        return false;
    }
    struct archive_entry *e = archive_entry_new();
    archive_entry_set_pathname_utf8(e, name.c_str());
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, st.st_mode & 0777);
    archive_entry_set_size(e, st.st_size);
    archive_entry_set_mtime(e, st.st_mtime, 0);
    bool ok = archive_write_header(out, e) == ARCHIVE_OK;
    char buf[65536];
    ssize_t n;
    while (ok && (n = read(fd, buf, sizeof buf)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0 && archive_write_data(out, buf, size_t(n)) == n;
    }
    close(fd);
    archive_entry_free(e);
    if (!ok)
        report += "cannot add: " + path + "\n";
    added.push_back(name);
    return ok;
}

int32_t writeArchive(const WriteJob &job, std::string &report)
{
    if (job.archive.empty())
        return ARC_ERROR_ARC_FILE_OPEN;
    const size_t slash = job.archive.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string() : job.archive.substr(0, slash + 1)) + ".arcXXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        report += "cannot write beside " + job.archive + "\n";
        return ARC_ERROR_CANNOT_WRITE;
    }
    // The new archive takes the old one's permissions, or the usual ones for a new file.
    struct stat old;
    if (stat(job.archive.c_str(), &old) == 0) {
        fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = umask(022);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    struct archive *out = archive_write_new();
    if (job.format == WriteJob::Zip) {
        archive_write_set_format_zip(out);
        if (job.level >= 0)
            archive_write_set_options(out, ("zip:compression-level=" + std::to_string(job.level)).c_str());
    } else {
        archive_write_set_format_pax_restricted(out);
        if (job.format == WriteJob::TarGz) {
            archive_write_add_filter_gzip(out);
            if (job.level >= 1)
                archive_write_set_options(out, ("gzip:compression-level=" + std::to_string(job.level)).c_str());
        }
    }
    bool ok = archive_write_open_fd(out, fd) == ARCHIVE_OK;

    // The new files first in mind: an old entry of the same name gives way to them.
    std::vector<std::string> names;
    for (const std::string &f : job.files) {
        std::string rel;
        if (safeRelativePath(f, job.flat, rel))
            names.push_back(rel);
    }
    size_t removed = 0;
    if (ok && job.keepOld && access(job.archive.c_str(), F_OK) == 0) {
        struct archive *in = archive_read_new();
        archive_read_support_format_all(in);
        archive_read_support_filter_all(in);
        if (archive_read_open_filename(in, job.archive.c_str(), 64 * 1024) != ARCHIVE_OK) {
            report += "cannot read " + job.archive + "\n";
            ok = false;
        }
        struct archive_entry *e;
        int r = ARCHIVE_EOF;
        while (ok && ((r = archive_read_next_header(in, &e)) == ARCHIVE_OK || r == ARCHIVE_WARN)) {
            const std::string name = entryName(e);
            std::vector<bool> used(job.remove.size());
            if (!job.remove.empty() && requested(job.remove, name, used)) {
                ++removed;
                continue;
            }
            if (std::find(names.begin(), names.end(), name) != names.end())
                continue;
            ok = archive_write_header(out, e) == ARCHIVE_OK && copyData(in, out);
        }
        if (ok && r != ARCHIVE_EOF) {
            report += "damaged: " + job.archive + "\n";
            ok = false;
        }
        archive_read_free(in);
    }
    int32_t result = ok ? ARC_OK : ARC_ERROR_CANNOT_READ;
    std::vector<std::string> added;
    for (const std::string &f : job.files) {
        if (!ok)
            break;
        std::string rel;
        if (!safeRelativePath(f, job.flat, rel)) {
            report += "refused: " + f + "\n";
            result = ARC_ERROR_UNSAFE_NAME;
            ok = false;
            break;
        }
        const std::string path = (!f.empty() && f[0] == '/') ? f : job.base + f;
        if (!addPath(out, path, rel, job.flat, added, report)) {
            result = ARC_ERROR_CANNOT_WRITE;
            ok = false;
        }
    }
    if (ok && !job.remove.empty() && removed == 0) {
        report += "nothing to delete\n";
        result = ARC_ERROR_NOT_EXIST;
        ok = false;
    }
    ok = archive_write_close(out) == ARCHIVE_OK && ok;
    archive_write_free(out);
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temp.c_str(), job.archive.c_str()) != 0) {
        report += "cannot replace " + job.archive + "\n";
        ok = false;
    }
    if (!ok) {
        unlink(temp.c_str());
        return result == ARC_OK ? ARC_ERROR_CANNOT_WRITE : result;
    }
    return ARC_OK;
}

} // namespace arcbackend
