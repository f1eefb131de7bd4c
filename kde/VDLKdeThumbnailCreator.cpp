// KDE's file manager thumbnails: a KIO thumbnail creator that draws through the preview
// plug-in, as the freedesktop thumbnailer does.
#include "VDLKdePlugIns.h"
#include "VDLQuickLookHost.h"

#include <KIO/ThumbnailCreator>
#include <KPluginFactory>
#include <QImage>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

class VDLKdeThumbnailCreator : public KIO::ThumbnailCreator {
    Q_OBJECT
public:
    VDLKdeThumbnailCreator(QObject* parent, const QVariantList& args) : KIO::ThumbnailCreator(parent, args) {}

    KIO::ThumbnailResult create(const KIO::ThumbnailRequest& request) override {
        if (!request.url().isLocalFile()) return KIO::ThumbnailResult::fail();
        const QSize target = request.targetSize() * request.devicePixelRatio();
        const int pixels = std::clamp(std::max(target.width(), target.height()), 16, 2048);
        try {
            std::lock_guard<std::mutex> lock(mutex_);  // one generator, one request at a time
            if (!generator_) {
                generator_ = VDLQuickLookGenerator::load(VDLKdePlugInPath(VARDELLE_QUICKLOOK_LIBRARY));
                if (!generator_) return KIO::ThumbnailResult::fail();
            }
            std::unique_ptr<VDLCairoContext> image =
                generator_->thumbnailImage(request.url().toLocalFile().toStdString(), pixels);
            if (!image || !image->data()) return KIO::ThumbnailResult::fail();
            // Cairo's ARGB32 is Qt's premultiplied ARGB32: native-endian 32-bit words.
            QImage picture(image->width(), image->height(), QImage::Format_ARGB32_Premultiplied);
            for (int y = 0; y < image->height(); ++y)
                std::memcpy(picture.scanLine(y), image->data() + size_t(y) * size_t(image->stride()),
                            size_t(image->width()) * 4);
            picture.setDevicePixelRatio(request.devicePixelRatio());
            return KIO::ThumbnailResult::pass(picture);
        } catch (...) {
            return KIO::ThumbnailResult::fail();  // nothing may escape into the file manager
        }
    }

private:
    std::mutex mutex_;
    std::unique_ptr<VDLQuickLookGenerator> generator_;
};

}  // namespace

K_PLUGIN_CLASS_WITH_JSON(VDLKdeThumbnailCreator, "vardellethumbnail.json")

#include "VDLKdeThumbnailCreator.moc"
