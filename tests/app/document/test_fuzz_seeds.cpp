// The fuzz seeds of the data around a design (tests/fuzz/corpus, written by make_fuzz_seeds)
// stand for what the application really reads: each one is accepted by the application's own
// decoder, and every key the application writes into a window state or a clipboard archive
// appears in a seed, so a new key cannot go unfuzzed.
#include "DocumentTestSupport.h"

#include "VDLAppController.h"
#include "VDLDesignClipboard.h"
#include "VDLPropertyList.h"
#include "VDLVersionChecker.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMimeData>

#include <set>

namespace {

QByteArray seed(const char* name) {
    QFile f(QStringLiteral(VARDELLE_SOURCE_DIR "/tests/fuzz/corpus/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

// Every key path of a property list ("VDLDesign/VDLEmbroiderDesignStitches/[]/...").
void collectKeys(plist_t node, const std::string& prefix, std::set<std::string>& keys) {
    if (plist_get_node_type(node) == PLIST_DICT) {
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t child = nullptr;
            plist_dict_next_item(node, it, &key, &child);
            if (!key) break;
            const std::string path = prefix + "/" + key;
            keys.insert(path);
            collectKeys(child, path, keys);
            std::free(key);
        }
        std::free(it);
    } else if (plist_get_node_type(node) == PLIST_ARRAY) {
        for (uint32_t i = 0; i < plist_array_get_size(node); ++i)
            collectKeys(plist_array_get_item(node, i), prefix + "/[]", keys);
    }
}

std::set<std::string> keysOf(const QByteArray& xml) {
    std::set<std::string> keys;
    VDLPlist root = VDLPlistFromXML(xml.toStdString());
    EXPECT_TRUE(root);
    if (root) collectKeys(static_cast<plist_t>(root.get()), "", keys);
    return keys;
}

std::vector<std::string> missingFrom(const std::set<std::string>& written, const std::set<std::string>& seeds) {
    std::vector<std::string> missing;
    for (const std::string& k : written)
        if (!seeds.count(k)) missing.push_back(k);
    return missing;
}

}  // namespace

TEST_F(DocumentTest, FuzzSeedsCoverEveryKeyOfTheWindowStateAndClipboardArchives) {
    VDLDocument* doc = open(sample("flower.jef"));
    ASSERT_TRUE(doc);
    QAction madeira(QStringLiteral("Madeira Rayon"));
    doc->changePalette(&madeira);  // unsaved: the design goes into the archive
    doc->setViewScaling(150);
    doc->showThread(1);
    ASSERT_EQ(controller()->saveWindowStates(), 1);
    const QDir folder(VDLDocumentController::windowStateFolder());
    const QStringList archives = folder.entryList({QStringLiteral("window-*.plist")}, QDir::Files);
    ASSERT_EQ(archives.size(), 1);
    QFile archive(folder.filePath(archives.first()));
    ASSERT_TRUE(archive.open(QIODevice::ReadOnly));
    std::set<std::string> seeds = keysOf(seed("windowstate/edited.plist"));
    for (const std::string& k : keysOf(seed("windowstate/unedited.plist"))) seeds.insert(k);
    EXPECT_EQ(missingFrom(keysOf(archive.readAll()), seeds), std::vector<std::string>{});

    doc->myDesign().selectAll();
    std::unique_ptr<QMimeData> copied(VDLDesignClipboard::mimeDataForCopy(doc->myDesign(), QImage()));
    seeds = keysOf(seed("clipboard/selection.plist"));
    for (const std::string& k : keysOf(seed("clipboard/hooped.plist"))) seeds.insert(k);
    EXPECT_EQ(missingFrom(keysOf(copied->data(VDLDesignClipboard::kMimeType)), seeds), std::vector<std::string>{});
}

// The clipboard seed pastes into an open design as the user's Paste does.
TEST_F(DocumentTest, ClipboardSeedPastes) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_TRUE(doc);
    const size_t threads = doc->myDesign().threads().size();
    const size_t stitches = doc->myDesign().stitches().size();
    auto* data = new QMimeData;
    data->setData(VDLDesignClipboard::kMimeType, seed("clipboard/selection.plist"));
    QApplication::clipboard()->setMimeData(data);
    doc->paste(nullptr);
    EXPECT_EQ(doc->myDesign().threads().size(), threads + 1);  // the seed holds one block
    EXPECT_GT(doc->myDesign().stitches().size(), stitches + 2);
    EXPECT_TRUE(doc->myDesign().selectionActive());
    QApplication::clipboard()->clear();
}

TEST(FuzzSeeds, VersionRepliesAndPreferencesReadAsTheApplicationReadsThem) {
    const QString id = QStringLiteral("io.github.vardelle.Vardelle");
    auto newer = VDLVersionChecker::releaseFromDocument(seed("versionreply/newer.plist"), id);
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->version, "0.2.0");
    EXPECT_EQ(newer->url, "https://vardelle.github.io/download");
    auto noURL = VDLVersionChecker::releaseFromDocument(seed("versionreply/no-url.plist"), id);
    ASSERT_TRUE(noURL);
    EXPECT_TRUE(noURL->url.isEmpty());
    EXPECT_FALSE(VDLVersionChecker::releaseFromDocument(seed("versionreply/other-application.plist"), id));

    VDLDefaults& defaults = VDLDefaults::standard();
    QDir().mkpath(QFileInfo(defaults.path()).absolutePath());
    for (const char* name : {"defaults/application.plist", "defaults/hand-edited.plist"}) {
        QFile file(defaults.path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(seed(name));
        file.close();
        defaults.reload();
        if (std::string(name) == "defaults/application.plist") {
            EXPECT_EQ(defaults.integerForKey("MeasurementUnit"), 1);
            EXPECT_EQ(VDLAppController::colorFromArchive(defaults.dataForKey("BackgroundColor")),
                      QColor::fromRgbF(0.2f, 0.3f, 0.9f));
            EXPECT_TRUE(defaults.dateForKey("LastUpdateCheck").isValid());
        } else {
            EXPECT_TRUE(defaults.boolForKey("DrawFastMode"));
            EXPECT_EQ(defaults.integerForKey("MeasurementUnit"), 2);
        }
    }
    QFile::remove(defaults.path());
    defaults.reload();
}
