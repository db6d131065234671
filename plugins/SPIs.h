#pragma once
// The image plug-in host: finds *.spi shared objects in a set of folders, loads each, tells its
// kind by its API version, keeps the accepted ones for the life of the manager and registers the
// file extensions of image plug-ins with the picture format registry. One manager per process
// (ActiveSPIs); everything runs on the user-interface thread.

#include "Exceptions.h"
#include "Handles.h"
#include "spi.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class ESPIFOpenErrorSPI : public Exception {
public:
    explicit ESPIFOpenErrorSPI(const QString &path);
};
class ESPIInvalidSPI : public Exception {
public:
    explicit ESPIInvalidSPI(const QString &fileName);
};
class ESPIInvalidAPI : public Exception {
public:
    ESPIInvalidAPI(const QString &function, const QString &fileName);
};
class ESPIDupCreateSPIs : public Exception {
public:
    ESPIDupCreateSPIs();
};

// One loaded plug-in. Throws ESPIFOpenErrorSPI when the file is no loadable library and
// ESPIInvalidSPI when GetPluginInfo is missing; the library is unloaded on every failure.
class TSPI {
public:
    explicit TSPI(const QString &fileName);
    virtual ~TSPI();
    TSPI(const TSPI &) = delete;
    TSPI &operator=(const TSPI &) = delete;

    TDlHandle Handle;
    QString FileName;
    QString APIVersion;
    QString PluginInfo;
    QStringList Extensions;
    QStringList Descriptions;

    // The entry point; ESPIInvalidAPI when the plug-in has none.
    int32_t GetPluginInfo(int32_t number, char *buffer, int32_t size) const;

protected:
    void *resolve(const char *name) const;

private:
    decltype(&::GetPluginInfo) m_getPluginInfo = nullptr;
};

// An image import plug-in ("00IN"): IsSupported, GetPictureInfo and GetPicture are required.
class TInSPI : public TSPI {
public:
    explicit TInSPI(const QString &fileName);
    decltype(&::IsSupported) IsSupported = nullptr;
    decltype(&::GetPictureInfo) GetPictureInfo = nullptr;
    decltype(&::GetPicture) GetPicture = nullptr;
};

class TAmSPI : public TSPI {
public:
    using TSPI::TSPI;
};

class TXnSPI : public TSPI {
public:
    using TSPI::TSPI;
};

// A plug-in object of the class its API version names, or nullptr when the file is no plug-in.
std::unique_ptr<TSPI> CreateSPI(const QString &path);

enum class TSPISearchOption { spsSusieDir, spsAppDir, spsCurrentDir, spsSystemDir, spsWindowsDir };

class TSPIs : public QObject {
public:
    // Throws ESPIDupCreateSPIs when another manager exists.
    explicit TSPIs(QObject *owner = nullptr);
    ~TSPIs() override;

    bool AutoSearch = true;
    std::vector<TSPISearchOption> SearchOptions = {TSPISearchOption::spsSusieDir, TSPISearchOption::spsAppDir};
    std::function<void(TSPIs &sender, TSPI &spi, bool &accept)> OnSearch;
    // May change the class name registered, or clear it to register nothing.
    std::function<void(TSPIs &sender, TInSPI &spi, const QString &extension, const QString &description,
                       QString &graphicClass)>
        OnPictureRegister;

    // Runs Search("*.spi") when AutoSearch is on; the owner calls it once its properties are set.
    void Loaded();

    int Count() const { return int(m_list.size()); }
    TSPI *Items(int index) const { return m_list.at(size_t(index)).get(); }
    int IndexOf(const QString &fileName) const;
    void Add(std::unique_ptr<TSPI> spi) { Insert(Count(), std::move(spi)); }
    void Insert(int index, std::unique_ptr<TSPI> spi);
    void Delete(int index);
    void Clear();
    void Search(const QString &mask);
    // Image plug-ins to try on a file: those claiming its extension first, the last loaded of
    // them first; then the others in load order.
    std::vector<TInSPI *> FindSPIs(const QString &fileName) const;

    // The process-wide manager, or nullptr.
    static TSPIs *ActiveSPIs();
    // The folders of the options: the Susie folder (registry), the program's, the current one
    // and the install's plug-in folder ("system"; there is no Windows folder here).
    static QString SusieFolder();
    static QString SystemFolder();

private:
    void searchFolder(const QString &folder, const QString &pattern);
    std::vector<std::unique_ptr<TSPI>> m_list;
};
