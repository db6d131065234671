#pragma once
// The ARJ wrapper: "unarj32j.so" with "Unarj"; the LHA switches, and no creation.

#include "LHA32.h"

TArcFamily &Arj32Family();

class TArj32 : public TLha32 {
public:
    TArj32() : TLha32(Arj32Family()) {}

    int32_t Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                const QString &folder, const TArchiverOptions &options) override;
    int32_t Delete(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                   const QString &folder, const TArchiverOptions &options) override;
    int32_t MakeSfx(uintptr_t wnd, const QString &archive, QString &output, const TArchiverOptions &options) override;

    static bool Probe(const QString &path) { return Arj32Family().Probe(path); }

protected:
    uintptr_t CommandWindow(uintptr_t) const override { return 0; }
};
