#include "Registry.h"

#include "SafeFile.h"

#include "Exceptions.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kHeader[] = "; Korvane registry, version 1. Edit only while no program of ours runs.\n";

struct Value {
    QString name;
    QString data;
};
struct Key {
    QString path;                    // as created
    std::map<QString, Value> values; // by lower-case name
};
using Keys = std::map<QString, Key>; // by lower-case path

struct Change {
    enum Kind { CreateKey, SetValue, DeleteValue, DeleteKey } kind;
    QString key;
    QString name;
    QString data;
};

QString lower(const QString &s)
{
    return s.toLower();
}

// "A\\B\\" and "\\A\\B" mean "A\\B".
QString normalise(const QString &path)
{
    QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts.join(QLatin1Char('\\'));
}

QString parentOf(const QString &path)
{
    const qsizetype at = path.lastIndexOf(QLatin1Char('\\'));
    return at < 0 ? QString() : path.left(at);
}

// Creates path and every key above it; returns the key.
Key &createKey(Keys &keys, const QString &path)
{
    const QString parent = parentOf(path);
    if (!parent.isEmpty())
        createKey(keys, parent);
    auto [it, added] = keys.try_emplace(lower(path));
    if (added)
        it->second.path = path;
    return it->second;
}

void apply(Keys &keys, const Change &c)
{
    switch (c.kind) {
    case Change::CreateKey:
        createKey(keys, c.key);
        break;
    case Change::SetValue:
        createKey(keys, c.key).values[lower(c.name)] = {c.name, c.data};
        break;
    case Change::DeleteValue: {
        auto it = keys.find(lower(c.key));
        if (it != keys.end())
            it->second.values.erase(lower(c.name));
        break;
    }
    case Change::DeleteKey: {
        const QString k = lower(c.key);
        const QString below = k + QLatin1Char('\\');
        for (auto it = keys.begin(); it != keys.end();)
            it = (it->first == k || it->first.startsWith(below)) ? keys.erase(it) : std::next(it);
        break;
    }
    }
}

QString escape(const QString &s, bool name)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (name && c == QLatin1Char('='))
            out += QLatin1String("\\e");
        else if (name && i == 0 && (c == QLatin1Char('@') || c == QLatin1Char('[') || c == QLatin1Char(';'))) {
            out += QLatin1Char('\\');
            out += c;
        } else
            out += c;
    }
    return out;
}

bool unescape(const QString &s, QString &out)
{
    out.clear();
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != QLatin1Char('\\')) {
            out += s[i];
            continue;
        }
        if (++i >= s.size())
            return false;
        const QChar c = s[i];
        if (c == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (c == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (c == QLatin1Char('e'))
            out += QLatin1Char('=');
        else
            out += c;
    }
    return true;
}

// Index of the first "=" that is not escaped, or -1.
qsizetype separator(const QString &line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('\\'))
            ++i;
        else if (line[i] == QLatin1Char('='))
            return i;
    }
    return -1;
}

// Parses the text of a hive. Returns false when a line had to be skipped.
bool parse(const QByteArray &bytes, Keys &keys)
{
    bool clean = true;
    Key *current = nullptr;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    for (const QByteArray &raw : bytes.split('\n')) {
        utf8.resetState();
        QString line = utf8(raw);
        if (utf8.hasError()) {
            clean = false;
            continue;
        }
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString path = normalise(line.mid(1, line.size() - 2));
            if (path.isEmpty()) {
                clean = false;
                current = nullptr;
                continue;
            }
            current = &createKey(keys, path);
            continue;
        }
        const qsizetype eq = separator(line);
        QString name, data;
        if (!current || eq < 0 || !unescape(line.left(eq), name) || !unescape(line.mid(eq + 1), data)) {
            clean = false;
            continue;
        }
        if (line.startsWith(QLatin1Char('@')) && eq == 1)
            name.clear(); // the key's default value
        current->values[lower(name)] = {name, data};
    }
    return clean;
}

QByteArray format(const Keys &keys)
{
    QString out = QString::fromLatin1(kHeader);
    for (const auto &[k, key] : keys) {
        out += QLatin1String("\n[") + key.path + QLatin1String("]\n");
        for (const auto &[n, v] : key.values)
            out += (v.name.isEmpty() ? QStringLiteral("@") : escape(v.name, true)) + QLatin1Char('=') +
                   escape(v.data, false) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

[[noreturn]] void fail(const QString &file, const QString &why)
{
    throw EInOutError(ioErrorMessage(QStringLiteral("設定を保存"), file, why));
}

// Writes data to file by way of a private temporary file beside it and a rename.
void replaceFile(const QString &file, const QByteArray &data)
{
    TSafeFile out(file, TSafeFile::Access::Private, QStringLiteral("設定を保存"), QStringLiteral("設定を保存"));
    out.writeAll(data);
    out.commit();
}

class FileLock {
public:
    explicit FileLock(const QString &file)
        : m_fd(::open(QFile::encodeName(file + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                      0600))
    {
        if (!m_fd)
            fail(file, errnoText());
        while (::flock(m_fd.get(), LOCK_EX) != 0)
            if (errno != EINTR)
                fail(file, errnoText());
    }

private:
    TFd m_fd; // closing releases the lock
};

} // namespace

struct TRegistry::Hive {
    QString file;
    Keys keys;
    std::vector<Change> journal;
};

TRegistry::TRegistry(THive root) : m_root(root) {}

TRegistry::~TRegistry()
{
    try {
        CloseKey();
    } catch (const std::exception &) {
        // Documented: call CloseKey() to see a failure.
    }
}

QString TRegistry::hiveFile(THive root)
{
    const QString dir =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Korvane");
    return dir + (root == THive::CurrentUser ? QStringLiteral("/user.reg") : QStringLiteral("/classes.reg"));
}

void TRegistry::load()
{
    if (m_hive)
        return;
    m_hive = std::make_unique<Hive>();
    m_hive->file = hiveFile(m_root);
    QFile f(m_hive->file);
    if (f.open(QIODevice::ReadOnly))
        parse(f.readAll(), m_hive->keys);
}

QString TRegistry::absolute(const QString &key) const
{
    if (key.startsWith(QLatin1Char('\\')) || m_current.isEmpty())
        return normalise(key);
    return normalise(m_current + QLatin1Char('\\') + key);
}

bool TRegistry::OpenKey(const QString &key, bool canCreate)
{
    load();
    const QString path = absolute(key);
    auto it = m_hive->keys.find(lower(path));
    if (it == m_hive->keys.end()) {
        if (!canCreate || path.isEmpty())
            return false;
        const Change c{Change::CreateKey, path, {}, {}};
        apply(m_hive->keys, c);
        m_hive->journal.push_back(c);
        it = m_hive->keys.find(lower(path));
    }
    m_current = it->second.path;
    m_open = true;
    return true;
}

void TRegistry::CloseKey()
{
    UpdateFile();
    m_current.clear();
    m_open = false;
}

void TRegistry::UpdateFile()
{
    if (!m_hive || m_hive->journal.empty())
        return;
    const QString &file = m_hive->file;
    const QString dir = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(dir))
        fail(file, QStringLiteral("ﾌｫﾙﾀﾞを作成できません"));
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    FileLock lock(file);
    // Merge into what is on disk now: another program may have written since we read.
    Keys onDisk;
    bool clean = true;
    QFile f(file);
    const bool existed = f.open(QIODevice::ReadOnly);
    QByteArray old;
    if (existed) {
        old = f.readAll();
        clean = parse(old, onDisk);
        f.close();
    }
    for (const Change &c : m_hive->journal)
        apply(onDisk, c);
    if (existed && !clean) {
        // Keep what we could not read, in case a person wants it back.
        const QString bad = file + QStringLiteral(".bad");
        QFile::remove(bad);
        replaceFile(bad, old);
    }
    replaceFile(file, format(onDisk));
    m_hive->keys = std::move(onDisk);
    m_hive->journal.clear();
}

bool TRegistry::KeyExists(const QString &key) const
{
    const_cast<TRegistry *>(this)->load();
    return m_hive->keys.count(lower(absolute(key))) > 0;
}

bool TRegistry::ValueExists(const QString &name) const
{
    if (!m_open || !m_hive)
        return false;
    auto it = m_hive->keys.find(lower(m_current));
    return it != m_hive->keys.end() && it->second.values.count(lower(name)) > 0;
}

QString TRegistry::ReadString(const QString &name) const
{
    if (!m_open || !m_hive)
        return QString();
    auto it = m_hive->keys.find(lower(m_current));
    if (it == m_hive->keys.end())
        return QString();
    auto v = it->second.values.find(lower(name));
    return v == it->second.values.end() ? QString() : v->second.data;
}

void TRegistry::WriteString(const QString &name, const QString &value)
{
    Q_ASSERT(m_open);
    if (!m_open)
        return;
    // Writing what is there already changes nothing, and the file is left alone.
    if (ValueExists(name) && ReadString(name) == value)
        return;
    const Change c{Change::SetValue, m_current, name, value};
    apply(m_hive->keys, c);
    m_hive->journal.push_back(c);
}

bool TRegistry::DeleteValue(const QString &name)
{
    if (!ValueExists(name))
        return false;
    const Change c{Change::DeleteValue, m_current, name, {}};
    apply(m_hive->keys, c);
    m_hive->journal.push_back(c);
    return true;
}

bool TRegistry::DeleteKey(const QString &key)
{
    load();
    const QString path = absolute(key);
    if (path.isEmpty() || !m_hive->keys.count(lower(path)))
        return false;
    const Change c{Change::DeleteKey, path, {}, {}};
    apply(m_hive->keys, c);
    m_hive->journal.push_back(c);
    if (m_open && !m_hive->keys.count(lower(m_current)))
        m_open = false;
    return true;
}

QStringList TRegistry::GetKeyNames() const
{
    QStringList names;
    if (!m_hive)
        return names;
    const QString prefix = m_current.isEmpty() ? QString() : lower(m_current) + QLatin1Char('\\');
    for (const auto &[k, key] : m_hive->keys)
        if (k.startsWith(prefix) && k.size() > prefix.size() && !k.mid(prefix.size()).contains(QLatin1Char('\\')))
            names.append(key.path.mid(prefix.size()));
    return names;
}

QStringList TRegistry::GetValueNames() const
{
    QStringList names;
    if (!m_open || !m_hive)
        return names;
    auto it = m_hive->keys.find(lower(m_current));
    if (it != m_hive->keys.end())
        for (const auto &[n, v] : it->second.values)
            names.append(v.name);
    return names;
}

// ---- INI view -----------------------------------------------------------------------------

TRegIniFile::TRegIniFile(const QString &key, THive root) : m_key(normalise(key)), m_reg(root) {}

bool TRegIniFile::parseInteger(const QString &text, qint64 &out)
{
    bool ok = false;
    if (text.size() > 2 && (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X")))) {
        // Up to 32 bits, wrapping as the 32-bit integers these values always were.
        const quint64 v = text.mid(2).toULongLong(&ok, 16);
        if (!ok || v > 0xFFFFFFFFull)
            return false;
        out = qint32(quint32(v));
        return true;
    }
    const qint64 v = text.toLongLong(&ok, 10);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = v;
    return true;
}

QString TRegIniFile::ReadString(const QString &section, const QString &ident, const QString &def) const
{
    if (!m_reg.OpenKey(QLatin1Char('\\') + m_key + QLatin1Char('\\') + section, false) || !m_reg.ValueExists(ident))
        return def;
    return m_reg.ReadString(ident);
}

qint64 TRegIniFile::ReadInteger(const QString &section, const QString &ident, qint64 def) const
{
    qint64 v = 0;
    return parseInteger(ReadString(section, ident, QString()), v) ? v : def;
}

bool TRegIniFile::ReadBool(const QString &section, const QString &ident, bool def) const
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TRegIniFile::WriteString(const QString &section, const QString &ident, const QString &value)
{
    m_reg.OpenKey(QLatin1Char('\\') + m_key + QLatin1Char('\\') + section, true);
    m_reg.WriteString(ident, value);
}

void TRegIniFile::WriteInteger(const QString &section, const QString &ident, qint64 value)
{
    WriteString(section, ident, QString::number(value));
}

void TRegIniFile::WriteBool(const QString &section, const QString &ident, bool value)
{
    WriteString(section, ident, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TRegIniFile::SectionExists(const QString &section) const
{
    return m_reg.KeyExists(QLatin1Char('\\') + m_key + QLatin1Char('\\') + section);
}

void TRegIniFile::EraseSection(const QString &section)
{
    m_reg.DeleteKey(QLatin1Char('\\') + m_key + QLatin1Char('\\') + section);
}

void TRegIniFile::UpdateFile()
{
    m_reg.UpdateFile();
}
