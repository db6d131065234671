#pragma once
// The RAR wrapper: "unrar32.so" with "Unrar"; extraction only.

#include "ARCHIVES.h"

TArcFamily &Rar32Family();

class TRar32 : public TFamilyArchiver {
public:
    TRar32() : TFamilyArchiver(Rar32Family()) {}

    int32_t Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                    const QString &folder, const TArchiverOptions &options) override;
    int32_t Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                const QString &folder, const TArchiverOptions &options) override;

    static bool Probe(const QString &path) { return Rar32Family().Probe(path); }
};
