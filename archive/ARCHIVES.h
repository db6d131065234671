#pragma once
// Drives the archiver libraries: one shared module per archive family, each offering a
// console-style command function and four listing functions (backends/arcapi.h). TArchiveFile
// picks the wrapper for an archive by its name and offers open, list and extract.

#include "Exceptions.h"
#include "Handles.h"
#include "backends/arcapi.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

enum TArchiverType { atLha, atZip, atCab, atArj, atTar, atTgz, atRar, atNone, atAutoDetect };

class EArchiver : public Exception {
public:
    using Exception::Exception;
};

// A string option holding this one NUL character is "not given".
extern const QString ArcNul;
inline bool IsArcNul(const QString &s) { return s.size() == 1 && s.at(0) == QChar(0); }

// The switches of one operation, named after the LHA archiver's switch letters. −1 and NUL mean
// "switch not given".
class TArchiverOptions {
public:
    int a = -1, c = -1, d = -1, e = -1, f = -1, h = -1, i = -1, l = -1, m = -1, n = -1, o = -1, p = -1, r = -1,
        s = -1, t = -1, u = -1;
    QString w = ArcNul;
    int x = -1, y = -1, z = -1;
    int jc = -1, jd = -1, je = -1, jf = -1, jh = -1, ji = -1, jm = -1, jn = -1;
    QString jo = ArcNul, job = ArcNul;
    int jp = -1, jr = -1, jss = -1, jw = -1;
    QStringList jx;
    int jyc = -1, jyd = -1, jyk = -1, jyn = -1, jyo = -1;
    QString jz = ArcNul;
    int ga = -1, gd = -1, ge = -1, gf = -1, gj = -1, gm = -1, gn = -1, go = -1, gp = -1, gr = -1, gs = -1,
        gu = -1, gw = -1;
    QString UserOptions;
    QString UserFileList;
};

// Assembles the switches and names of a command line; the text always starts with a space.
// A console-style command line as the archiver libraries take it. A quoted value holding a
// quote cannot be written: EArchiver.
class TCmdOpt {
public:
    QString Text;

    void AddText(const QString &s);
    void AddQuoted(const QString &prefix, const QString &value);
    void AddNumber(const QString &name, int n);
    void AddFile(const QString &prefix, const QString &s) { AddQuoted(prefix, s); }
    void AddFiles(const QString &prefix, const QStringList &list);
    void AddDir(const QString &prefix, const QString &folder);
};

// The tail every builder ends with: user options, the archive, the folder, the entries and the
// user's file list.
void AddNamesTo(TCmdOpt &opt, const QString &archive, const QStringList *files, const QString &folder,
                const TArchiverOptions &options);

// The folders searched for archiver modules, in order; the program's folder comes first.
QStringList &ArchiverLibraryFolders();

// The exported function name in module, or EArchiver naming the module and the entry.
void *GetDllEntry(void *module, const char *name);

// One archiver module, loaded once per process, with its resolved entry points cached.
class TArcLibrary {
public:
    explicit TArcLibrary(const char *fileName) : m_fileName(fileName) {}
    ~TArcLibrary() = default;
    TArcLibrary(const TArcLibrary &) = delete;
    TArcLibrary &operator=(const TArcLibrary &) = delete;

    // Loads the module when it is not loaded yet; false when it cannot be found or loaded
    // (tried again on the next call).
    bool Load();
    bool IsLoaded() const { return m_module != nullptr; }
    void Unload();
    // The entry point, resolved on first use (GetDllEntry's exception when it is missing).
    void *Entry(const char *name);
    const char *FileName() const { return m_fileName; }

private:
    const char *m_fileName;
    TDlHandle m_module;
    QHash<QByteArray, void *> m_entries;
};

// One family of a single module: its names and the message for a missing module.
struct TArcFamily {
    TArcLibrary Library;
    const char *MissingMessage;
    const char *CommandName, *OpenName, *CloseName, *FirstName, *NextName;

    void Load();
    void Unload() { Library.Unload(); }
    void *Entry(const char *name);
    HARC Open(uintptr_t wnd, const QString &archive, uint32_t mode);
    int32_t FindFirst(HARC arc, const QString &wild, ArcIndividualInfo &info);
    int32_t FindNext(HARC arc, ArcIndividualInfo &info);
    int32_t CloseArchive(HARC arc);
    // Whether the family's library opens the file (the probe of a self-extracting ".exe").
    bool Probe(const QString &path);
};

// Calls a command function the way every wrapper does: the output text's buffer (none when it
// is empty) and its length; the text is replaced by what the library wrote.
int32_t RunArchiverCommand(void *proc, uintptr_t wnd, const QString &commandLine, QString &output);

// The wrapper of one library family; one subclass per archive type.
class TArchiver {
public:
    virtual ~TArchiver() = default;

    QString CommandLine; // the last command line passed to the library

    virtual void LoadDll() = 0;
    virtual void UnloadDll() = 0;
    virtual HARC OpenArchive(uintptr_t wnd, const QString &archive, uint32_t mode);
    virtual int32_t FindFirst(HARC arc, const QString &wild, ArcIndividualInfo &info);
    virtual int32_t FindNext(HARC arc, ArcIndividualInfo &info);
    virtual int32_t CloseArchive(HARC arc);
    virtual int32_t Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                            const QString &folder, const TArchiverOptions &options) = 0;
    virtual int32_t Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                        const QString &folder, const TArchiverOptions &options) = 0;
    virtual int32_t Delete(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                           const QString &folder, const TArchiverOptions &options);
    virtual int32_t MakeSfx(uintptr_t wnd, const QString &archive, QString &output, const TArchiverOptions &options);

protected:
    // Wrappers of a single-module family list through it; without one the listing calls keep
    // their base results.
    TArcFamily *m_listing = nullptr;

    // Stores the command line, resolves the family's command function and calls it.
    int32_t Run(TArcFamily &family, uintptr_t wnd, const QString &commandLine, QString &output);
};

// The wrapper of a family of one module: loads it on creation, lists through it.
class TFamilyArchiver : public TArchiver {
public:
    void LoadDll() override { m_family.Load(); }
    void UnloadDll() override { m_family.Unload(); }

protected:
    explicit TFamilyArchiver(TArcFamily &family) : m_family(family)
    {
        m_listing = &family;
        LoadDll();
    }
    TArcFamily &m_family;
};

// Whether open (window, full path, mode) gives a handle for the file in the probe mode of a
// self-extracting ".exe"; the handle is closed, and a missing library or entry is a no.
bool ProbeArchive(const QString &path, const std::function<HARC(uintptr_t, const QString &, uint32_t)> &open,
                  const std::function<void(HARC)> &close);

// The type an archive's name calls for; ".exe" files are probed by the libraries.
TArchiverType GetArchiverType(const QString &fileName);

// A new wrapper of that type (EArchiver when its library is missing); nullptr for atNone.
std::unique_ptr<TArchiver> CreateArchiver(TArchiverType type);

// The component the program uses: one archive, its wrapper, open/list/extract.
class TArchiveFile : public QObject {
public:
    explicit TArchiveFile(QObject *owner = nullptr);
    ~TArchiveFile() override;

    QString FileName() const { return m_fileName; }
    void setFileName(const QString &name);
    QString OutputBuff() const;
    int OutputSize() const { return int(m_output.size()); }
    void setOutputSize(int size);
    TArchiverOptions &Options() { return m_options; }
    TArchiverType ArchiverType() const { return m_type; }
    void setArchiverType(TArchiverType type);
    TArchiver *Archiver() const { return m_archiver.get(); }
    QString LastCommandLine() const { return m_commandLine; }

    HARC OpenArchive(uintptr_t wnd, uint32_t mode);
    int32_t FindFirst(const QString &wild, ArcIndividualInfo &info);
    int32_t FindNext(ArcIndividualInfo &info);
    void CloseArchive();
    int32_t Extract(uintptr_t wnd, const QString &folder, const QStringList *files);

private:
    QString m_fileName = ArcNul;
    TArchiverOptions m_options;
    TArchiverType m_type = atAutoDetect;
    std::unique_ptr<TArchiver> m_archiver;
    QString m_commandLine;
    QString m_output;
    HARC m_handle = nullptr;
};
