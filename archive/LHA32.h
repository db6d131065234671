#pragma once
// The LHA wrapper: "unlha32.so" with the command function "Unlha".

#include "ARCHIVES.h"

TArcFamily &Lha32Family();

class TLha32 : public TFamilyArchiver {
public:
    TLha32() : TLha32(Lha32Family()) {}

    int32_t Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                    const QString &folder, const TArchiverOptions &options) override;
    int32_t Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                const QString &folder, const TArchiverOptions &options) override;
    int32_t Delete(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                   const QString &folder, const TArchiverOptions &options) override;
    int32_t MakeSfx(uintptr_t wnd, const QString &archive, QString &output, const TArchiverOptions &options) override;

    static bool Probe(const QString &path) { return Lha32Family().Probe(path); }

    // Every option as a switch, then the archive, the folder and the entries.
    static TCmdOpt Build(const QString &archive, const QStringList *files, const QString &folder,
                         const TArchiverOptions &options);

protected:
    explicit TLha32(TArcFamily &family) : TFamilyArchiver(family) {}
    // The window handed to the command function.
    virtual uintptr_t CommandWindow(uintptr_t wnd) const { return wnd; }
    int32_t RunWord(const char *word, uintptr_t wnd, const TCmdOpt &opt, QString &output);
};
