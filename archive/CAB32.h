#pragma once
// The CAB wrapper: "cab32.so" with "Cab".

#include "ARCHIVES.h"

TArcFamily &Cab32Family();

// The switches of ZIP extraction and of every CAB command; nSwitch is what n = 1 adds.
TCmdOpt ZipCabBuild(const char *nSwitch, bool withN, const QString &archive, const QStringList *files,
                    const QString &folder, const TArchiverOptions &options);

class TCab32 : public TFamilyArchiver {
public:
    TCab32() : TFamilyArchiver(Cab32Family()) {}

    int32_t Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                    const QString &folder, const TArchiverOptions &options) override;
    int32_t Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                const QString &folder, const TArchiverOptions &options) override;
    int32_t MakeSfx(uintptr_t wnd, const QString &archive, QString &output, const TArchiverOptions &options) override;

    static bool Probe(const QString &path) { return Cab32Family().Probe(path); }
};
