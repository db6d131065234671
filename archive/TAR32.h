#pragma once
// The TAR wrappers: "tar32.so" with "Tar", for plain and compressed tar files.

#include "ARCHIVES.h"

TArcFamily &Tar32Family();

class TTar32 : public TFamilyArchiver {
public:
    TTar32() : TFamilyArchiver(Tar32Family()) {}

    int32_t Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                    const QString &folder, const TArchiverOptions &options) override;
    int32_t Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                const QString &folder, const TArchiverOptions &options) override;

    TCmdOpt Build(const QString &archive, const QStringList *files, const QString &folder,
                  const TArchiverOptions &options) const;

protected:
    virtual bool Compressed() const { return false; }

private:
    int32_t RunWord(const char *word, uintptr_t wnd, const TCmdOpt &opt, QString &output);
};

class TTgz32 : public TTar32 {
protected:
    bool Compressed() const override { return true; }
};
