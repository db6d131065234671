#pragma once
// The per-user registry: a tree of keys, each with named string values, in two hives (the
// current user's and the class registry), kept as readable text files under
// $XDG_CONFIG_HOME/Korvane/ (default ~/.config), mode 0600 in a 0700 folder.
//
// Key and value names compare without case and keep the case they were created with; "\"
// separates key names. A TRegistry reads its hive when it opens a key and collects changes in
// memory; CloseKey() (or UpdateFile()) merges them into what is on disk at that moment, under a
// lock, and replaces the file by rename. So two programs that write in turn each keep the other's
// keys and values, the later write wins for the values it writes, and a failed write leaves the
// file as it was. Lines the reader does not understand are skipped (their values read as
// missing); the first save after such a read keeps the old file beside the new one as ".bad".
// Not thread-safe: one TRegistry per thread.

#include <QString>
#include <QStringList>

#include <map>
#include <memory>

enum class THive { CurrentUser, ClassesRoot };

class TRegistry {
public:
    explicit TRegistry(THive root = THive::CurrentUser);
    ~TRegistry(); // closes the key; a failure to write is lost here, call CloseKey() to see it
    TRegistry(const TRegistry &) = delete;
    TRegistry &operator=(const TRegistry &) = delete;

    // The hive's file: $XDG_CONFIG_HOME/Korvane/user.reg or classes.reg.
    static QString hiveFile(THive root);

    // Opens key (a path from the hive's root). False when it does not exist and canCreate is off.
    bool OpenKey(const QString &key, bool canCreate);
    // Writes what changed since the key was opened. Throws EInOutError; the file stays as it was.
    void CloseKey();
    void UpdateFile();
    QString CurrentPath() const { return m_current; }

    bool KeyExists(const QString &key) const;
    bool ValueExists(const QString &name) const;
    // Empty when the value does not exist.
    QString ReadString(const QString &name) const;
    void WriteString(const QString &name, const QString &value);
    bool DeleteValue(const QString &name);
    // Deletes key (relative to the open key, or from the root when none is open) with everything
    // below it.
    bool DeleteKey(const QString &key);
    QStringList GetKeyNames() const;
    QStringList GetValueNames() const;

    struct Hive;

private:
    QString absolute(const QString &key) const;
    void load();

    THive m_root;
    std::unique_ptr<Hive> m_hive;
    QString m_current; // the open key's path as it is stored, empty for none
    bool m_open = false;
};

// The INI-file view of a key: sections are its subkeys, entries their values. Integers are
// stored as signed decimal text and read also as "0x" hexadecimal; Booleans as "0"/"1", any
// other integer reading as true. A missing or unreadable value reads as the default.
class TRegIniFile {
public:
    explicit TRegIniFile(const QString &key, THive root = THive::CurrentUser);

    QString ReadString(const QString &section, const QString &ident, const QString &def) const;
    qint64 ReadInteger(const QString &section, const QString &ident, qint64 def) const;
    bool ReadBool(const QString &section, const QString &ident, bool def) const;
    void WriteString(const QString &section, const QString &ident, const QString &value);
    void WriteInteger(const QString &section, const QString &ident, qint64 value);
    void WriteBool(const QString &section, const QString &ident, bool value);
    bool SectionExists(const QString &section) const;
    void EraseSection(const QString &section);
    // Writes the changes. Throws EInOutError.
    void UpdateFile();

    // The integer a value's text stands for, as ReadInteger reads it.
    static bool parseInteger(const QString &text, qint64 &out);

private:
    QString m_key;
    mutable TRegistry m_reg;
};
