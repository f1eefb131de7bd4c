// KDE's desktop search: a KFileMetaData extractor that measures a design through the metadata
// plug-in, as vardelle-cli metadata does, and names it from the design itself.
//
// Properties given: Width and Height = the design's size in whole millimetres, LineCount = the
// number of stitches, Channels = the number of different thread colours, Title = the design's
// name (when the file has one), Generator = the format and its version ("PES Version 1.0"), and the
// same figures as searchable text.
#include "VDLDesign.h"
#include "VDLKdePlugIns.h"
#include "VDLSpotlightHost.h"

#include <KFileMetaData/ExtractionResult>
#include <KFileMetaData/ExtractorPlugin>
#include <KFileMetaData/Properties>

#include <cmath>
#include <memory>
#include <mutex>

namespace {

const QStringList kMimeTypes = {
    QStringLiteral("application/x-dst"), QStringLiteral("application/x-exp"), QStringLiteral("application/x-vp3"),
    QStringLiteral("application/x-ksm"), QStringLiteral("application/x-pes"), QStringLiteral("application/x-pec"),
    QStringLiteral("application/x-jef"), QStringLiteral("application/x-jpx"), QStringLiteral("application/x-sew"),
    QStringLiteral("application/x-pcs"), QStringLiteral("application/x-pcd"), QStringLiteral("application/x-pcq"),
};

}  // namespace

class VDLKdeExtractor : public KFileMetaData::ExtractorPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.kde.kf5.kfilemetadata.ExtractorPlugin" FILE "vardelleextractor.json")
    Q_INTERFACES(KFileMetaData::ExtractorPlugin)
public:
    explicit VDLKdeExtractor(QObject* parent = nullptr) : KFileMetaData::ExtractorPlugin(parent) {}

    QStringList mimetypes() const override { return kMimeTypes; }

    void extract(KFileMetaData::ExtractionResult* result) override {
        using KFileMetaData::Property::Property;
        if (!(result->inputFlags() & KFileMetaData::ExtractionResult::ExtractMetaData)) return;
        const std::string path = result->inputUrl().toStdString();
        try {
            VDLMDAttributes attributes{};
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!importer_) {
                    importer_ = VDLSpotlightImporter::load(VDLKdePlugInPath(VARDELLE_SPOTLIGHT_LIBRARY));
                    if (!importer_) return;
                }
                if (!importer_->importData(path, attributes, result->inputMimetype().toStdString())) return;
            }
            const double* width = VDLMDAttributesGetNumber(&attributes, kVardelleEmbroideryWidth);
            const double* height = VDLMDAttributesGetNumber(&attributes, kVardelleEmbroideryHeight);
            const double* stitches = VDLMDAttributesGetNumber(&attributes, kVardelleEmbroideryStitches);
            const double* colors = VDLMDAttributesGetNumber(&attributes, kVardelleEmbroideryColors);
            if (width) result->add(KFileMetaData::Property::Width, int(std::lround(*width)));
            if (height) result->add(KFileMetaData::Property::Height, int(std::lround(*height)));
            if (stitches) result->add(KFileMetaData::Property::LineCount, qlonglong(*stitches));
            if (colors) result->add(KFileMetaData::Property::Channels, int(*colors));

            // Name and version come from the design (the metadata plug-in gives figures only).
            VDLDesign design;
            if (design.importDesignFromURL(VDLURL::fileURLWithPath(path))) {
                if (!design.designName().empty())
                    result->add(KFileMetaData::Property::Title, QString::fromStdString(design.designName()));
                if (!design.designType().empty())
                    result->add(KFileMetaData::Property::Generator,
                                QStringLiteral("%1 Version %2").arg(QString::fromStdString(design.designType()))
                                    .arg(design.designVersion() / 10.0, 0, 'f', 1));
            }
            if (width && height && stitches && colors && (result->inputFlags() & KFileMetaData::ExtractionResult::ExtractPlainText))
                result->append(QStringLiteral("%1 x %2 mm, %3 stitches, %4 colours")
                                   .arg(*width, 0, 'f', 1).arg(*height, 0, 'f', 1)
                                   .arg(qlonglong(*stitches)).arg(int(*colors)));
        } catch (...) {
            // nothing may escape into the indexer
        }
    }

private:
    std::mutex mutex_;
    std::unique_ptr<VDLSpotlightImporter> importer_;
};

#include "VDLKdeExtractor.moc"
