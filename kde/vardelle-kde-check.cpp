// Checks the installed KDE plug-ins the way KDE uses them:
//   vardelle-kde-check thumbnail FILE MIMETYPE SIZE
//       finds the thumbnail creator for MIMETYPE among KIO's preview plug-ins, loads it through
//       KDE's plug-in factory and prints the size of the picture it returns;
//   vardelle-kde-check extract FILE MIMETYPE
//       runs the extractors KFileMetaData's collection offers for MIMETYPE and prints every
//       property they give, one "Name: value" a line.
//   vardelle-kde-check mimetype FILE...
//       prints the MIME type Qt's database (what Dolphin and Baloo use) gives each file.
// Exit status 0 when a picture or at least one property came back, 1 otherwise, 2 on usage.
#include <KFileMetaData/ExtractorCollection>
#include <KFileMetaData/PropertyInfo>
#include <KFileMetaData/SimpleExtractionResult>
#include <KIO/PreviewJob>
#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QMimeDatabase>
#include <QUrl>

#include <cstdio>

namespace {

int thumbnail(const QString& file, const QString& mimeType, int size) {
    const QStringList enabled = KIO::PreviewJob::defaultPlugins();
    for (const KPluginMetaData& plugin : KIO::PreviewJob::availableThumbnailerPlugins()) {
        if (!plugin.supportsMimeType(mimeType)) continue;
        std::printf("enabled by default: %s\n", enabled.contains(plugin.pluginId()) ? "yes" : "no");
        std::printf("plug-in: %s (%s)\n", qPrintable(plugin.pluginId()), qPrintable(plugin.fileName()));
        auto created = KPluginFactory::instantiatePlugin<KIO::ThumbnailCreator>(plugin);
        if (!created) {
            std::printf("not loaded: %s\n", qPrintable(created.errorText));
            return 1;
        }
        const KIO::ThumbnailRequest request(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()),
                                            QSize(size, size), mimeType, 1.0, 0);
        const KIO::ThumbnailResult result = created.plugin->create(request);
        delete created.plugin;
        if (!result.isValid() || result.image().isNull()) {
            std::printf("no picture\n");
            return 1;
        }
        std::printf("picture: %dx%d\n", result.image().width(), result.image().height());
        return 0;
    }
    std::printf("no thumbnail plug-in for %s\n", qPrintable(mimeType));
    return 1;
}

int extract(const QString& file, const QString& mimeType) {
    KFileMetaData::ExtractorCollection collection;
    const QList<KFileMetaData::Extractor*> extractors = collection.fetchExtractors(mimeType);
    if (extractors.isEmpty()) {
        std::printf("no extractor for %s\n", qPrintable(mimeType));
        return 1;
    }
    KFileMetaData::SimpleExtractionResult result(QFileInfo(file).absoluteFilePath(), mimeType,
                                                 KFileMetaData::ExtractionResult::ExtractMetaData |
                                                     KFileMetaData::ExtractionResult::ExtractPlainText);
    for (KFileMetaData::Extractor* extractor : extractors) extractor->extract(&result);
    const auto properties = result.properties(KFileMetaData::PropertiesMapType::MultiMap);
    for (auto it = properties.constBegin(); it != properties.constEnd(); ++it)
        std::printf("%s: %s\n", qPrintable(KFileMetaData::PropertyInfo(it.key()).name()),
                    qPrintable(it.value().toString()));
    if (!result.text().isEmpty()) std::printf("text: %s\n", qPrintable(result.text()));
    return properties.isEmpty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QLatin1String("thumbnail")) return thumbnail(args[2], args[3], args[4].toInt());
    if (args.size() == 4 && args[1] == QLatin1String("extract")) return extract(args[2], args[3]);
    if (args.size() >= 3 && args[1] == QLatin1String("mimetype")) {
        QMimeDatabase db;
        for (int i = 2; i < args.size(); ++i)
            std::printf("%s: %s\n", qPrintable(args[i]), qPrintable(db.mimeTypeForFile(args[i]).name()));
        return 0;
    }
    std::fprintf(stderr, "usage: vardelle-kde-check thumbnail FILE MIMETYPE SIZE | extract FILE MIMETYPE | mimetype FILE...\n");
    return 2;
}
