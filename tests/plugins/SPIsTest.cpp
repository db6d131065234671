#include "SPIs.h"
#include "MainUnit.h"
#include "Picture.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {
const QString kDir = QStringLiteral(TEST_SPI_DIR);

QStringList names(const TSPIs &spis)
{
    QStringList out;
    for (int i = 0; i < spis.Count(); ++i)
        out.append(QFileInfo(spis.Items(i)->FileName).fileName() + ":" + spis.Items(i)->APIVersion);
    return out;
}
} // namespace

TEST(SPIs, DiscoveryKindsAndWhatIsPassedOver)
{
    TSPIs spis;
    spis.Search(kDir + "/*.spi");
    // Name order; the plug-in without GetPicture, the non-library and the hidden file are not there.
    EXPECT_EQ(names(spis), (QStringList{"test_AM.spi:00AM", "test_IMPORT.spi:00IN", "test_NOVERSION.spi:"}));
    EXPECT_NE(dynamic_cast<TAmSPI *>(spis.Items(0)), nullptr);
    auto *in = dynamic_cast<TInSPI *>(spis.Items(1));
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->PluginInfo, "Test plug-in IMPORT");
    EXPECT_EQ(in->Extensions, (QStringList{"*.MAG", "*.pi1;*.pi2"})) << "pairs only whole";
    EXPECT_EQ(in->Descriptions, (QStringList{"MAG format", "PI format"}));
    EXPECT_EQ(typeid(*spis.Items(2)), typeid(TSPI)) << "no version: a plain plug-in";
    // Searching the same folder again loads nothing twice.
    spis.Search(kDir + "/*.spi");
    EXPECT_EQ(spis.Count(), 3);
    EXPECT_EQ(spis.IndexOf(in->FileName), 1);
}

TEST(SPIs, ImportPluginsOnlyAndTheirFormatsRegistered)
{
    TSPIs spis;
    spis.OnSearch = [](TSPIs &, TSPI &spi, bool &accept) { accept = dynamic_cast<TInSPI *>(&spi) != nullptr; };
    spis.Search(kDir + "/*.spi");
    EXPECT_EQ(names(spis), QStringList{"test_IMPORT.spi:00IN"});
    bool mag = false, pi2 = false, pi1 = false;
    for (const TFileFormat &f : TPicture::fileFormats()) {
        mag |= f.extension == "MAG" && f.description == "MAG format" && f.className == "TSPIBitmap";
        pi2 |= f.extension == "pi2" && f.description == "PI format";
        pi1 |= f.extension == "pi1";
    }
    EXPECT_TRUE(mag);
    EXPECT_TRUE(pi2) << "the last extension of a pattern";
    EXPECT_FALSE(pi1);
    TPicture::unregisterGraphicClass("TSPIBitmap");
}

TEST(SPIs, OnlyOneManager)
{
    TSPIs first;
    EXPECT_EQ(TSPIs::ActiveSPIs(), &first);
    try {
        TSPIs second;
        ADD_FAILURE() << "no exception";
    } catch (const ESPIDupCreateSPIs &e) {
        EXPECT_EQ(e.message(), QStringLiteral("TSPIs は複数生成できません"));
    }
    EXPECT_EQ(TSPIs::ActiveSPIs(), &first);
}

TEST(SPIs, SusieFolderFromTheRegistryAndRegistrationVeto)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir()));
    {
        TSPIs none;
        none.SearchOptions = {TSPISearchOption::spsSusieDir};
        none.Loaded();
        EXPECT_EQ(none.Count(), 0) << "no registry value: the folder is skipped";
    }
    {
        TRegistry reg;
        reg.OpenKey("Software\\Kelvaro\\Susie\\Plug-in", true);
        reg.WriteString("Path", kDir);
        reg.CloseKey();
    }
    TSPIs spis;
    spis.SearchOptions = {TSPISearchOption::spsSusieDir};
    QStringList offered;
    spis.OnPictureRegister = [&](TSPIs &, TInSPI &, const QString &ext, const QString &, QString &cls) {
        offered.append(ext);
        cls.clear(); // register nothing
    };
    spis.Loaded();
    EXPECT_EQ(spis.Count(), 3);
    EXPECT_EQ(offered, (QStringList{"MAG", "pi2"}));
    for (const TFileFormat &f : TPicture::fileFormats())
        EXPECT_NE(f.extension, "MAG");
}

TEST(SPIs, CreateSPIYieldsNothingForNonPlugins)
{
    EXPECT_EQ(CreateSPI(kDir + "/bogus.spi"), nullptr);
    EXPECT_EQ(CreateSPI(kDir + "/test_NOENTRY.spi"), nullptr);
    EXPECT_EQ(CreateSPI(kDir + "/missing.spi"), nullptr);
    try {
        TSPI spi(kDir + "/missing.spi");
        ADD_FAILURE();
    } catch (const ESPIFOpenErrorSPI &e) {
        EXPECT_EQ(e.message(), kDir + "/missing.spi:Susie Pluginがロードできませんでした");
    }
}

TEST(SPIs, TheMainWindowKeepsImportPluginsOnly)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(freshDir()));
    TMainForm form;
    ASSERT_NE(form.SPI, nullptr);
    EXPECT_EQ(TSPIs::ActiveSPIs(), form.SPI);
    form.SPI->Search(kDir + "/*.spi");
    EXPECT_EQ(names(*form.SPI), QStringList{"test_IMPORT.spi:00IN"});
    EXPECT_EQ(TMainForm::ClassifyFile("/p/x.mag"), fkPicture) << "its formats are pictures now";
    TPicture::unregisterGraphicClass("TSPIBitmap");
}
