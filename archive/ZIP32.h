#pragma once
// The ZIP wrapper over three modules: "unzip32.so" (extraction and listing), "zip32j.so"
// (creation) and "lmzip32.so" (both, its names with a lower-case "z").

#include "ARCHIVES.h"

class TZip32 : public TArchiver {
public:
    TZip32();

    void LoadDll() override;
    void UnloadDll() override;
    HARC OpenArchive(uintptr_t wnd, const QString &archive, uint32_t mode) override;
    int32_t FindFirst(HARC arc, const QString &wild, ArcIndividualInfo &info) override;
    int32_t FindNext(HARC arc, ArcIndividualInfo &info) override;
    int32_t CloseArchive(HARC arc) override;
    int32_t Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                    const QString &folder, const TArchiverOptions &options) override;
    int32_t Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                const QString &folder, const TArchiverOptions &options) override;
    int32_t Delete(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                   const QString &folder, const TArchiverOptions &options) override;

    static bool Probe(const QString &path);

    // The switches of the creation library.
    static TCmdOpt BuildZip32j(const QString &archive, const QStringList *files, const QString &folder,
                               const TArchiverOptions &options);

    static TArcLibrary &Unzip32();
    static TArcLibrary &Lmzip32();
    static TArcLibrary &Zip32j();
    // Loads what it can of the three; EArchiver when none loads.
    static void LoadFamily();
    // The entry from the preferred module, else from the second (loading the family first).
    static void *Entry(const char *name, TArcLibrary &preferred, TArcLibrary &second);

private:
    int32_t RunZip(uintptr_t wnd, const QString &commandLine, QString &output);
};
