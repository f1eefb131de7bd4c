#pragma once
#include "VDLError.h"
#include "VDLGeometry.h"
#include "VDLHoop.h"
#include "VDLStitch.h"
#include "VDLThread.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

class VDLCoder;
class VDLGraphicsContext;

// Archive keys of a design (exported by the plug-ins as well).
extern const char* const kVDLEmbroiderDesignStitches;
extern const char* const kVDLEmbroiderDesignThreads;
extern const char* const kVDLEmbroiderDesignName;
extern const char* const kVDLEmbroiderDesignType;
extern const char* const kVDLEmbroiderDesignLocation;
extern const char* const kVDLEmbroiderDesignHoop;
extern const char* const kVDLEmbroiderDesignXMin;
extern const char* const kVDLEmbroiderDesignXMax;
extern const char* const kVDLEmbroiderDesignYMin;
extern const char* const kVDLEmbroiderDesignYMax;
extern const char* const kVDLEmbroiderDesignVersion;
extern const char* const kVDLEmbroiderDesignUseThreadFile;
extern const char* const kVDLEmbroiderDesignSelectionActive;

// One embroidery design: the stitch records in sewing order, one thread per colour block,
// where it came from and in which format, its running bounds (0.1 mm, X right, Y up, relative
// to the start point) and its hoop. Every import, export, edit and drawing operation is a
// method of this class; each is defined in the unit of its concern (model/formats/dst.cpp
// defines the DST reader and writer, model/editing/normalise.cpp the normalisation pass).
//
// A copy is deep: copying the design copies its stitch and thread vectors.
class VDLDesign {
public:
    VDLDesign() = default;
    VDLDesign(const VDLDesign&) = default;
    VDLDesign& operator=(const VDLDesign&) = default;
    VDLDesign(VDLDesign&&) noexcept = default;
    VDLDesign& operator=(VDLDesign&&) noexcept = default;
    VDLDesign copy() const { return *this; }

    // ---- Record (model/design/VDLDesign.cpp) -------------------------------------------
    VDLRange displayRange() const { return displayRange_; }
    void setDisplayRange(VDLRange r) { displayRange_ = r; }
    bool useThreadFile() const { return useThreadFile_; }
    void setUseThreadFile(bool v) { useThreadFile_ = v; }
    bool selectionActive() const { return selectionActive_; }
    void setSelectionActive(bool v) { selectionActive_ = v; }
    int32_t designVersion() const { return designVersion_; }
    void setDesignVersion(int32_t v) { designVersion_ = v; }
    float xMin() const { return xMin_; }
    float yMin() const { return yMin_; }
    float xMax() const { return xMax_; }
    float yMax() const { return yMax_; }
    void setXMin(float v) { xMin_ = v; }
    void setYMin(float v) { yMin_ = v; }
    void setXMax(float v) { xMax_ = v; }
    void setYMax(float v) { yMax_ = v; }
    std::vector<VDLStitch>& stitches() { return stitches_; }
    const std::vector<VDLStitch>& stitches() const { return stitches_; }
    void setStitches(std::vector<VDLStitch> s) { stitches_ = std::move(s); }
    std::vector<VDLThread>& threads() { return threads_; }
    const std::vector<VDLThread>& threads() const { return threads_; }
    void setThreads(std::vector<VDLThread> t) { threads_ = std::move(t); }
    const std::string& designName() const { return designName_; }  // "" = none
    void setDesignName(const std::string& v) { designName_ = v; }
    const std::string& designType() const { return designType_; }  // "" = none
    void setDesignType(const std::string& v) { designType_ = v; }
    const std::optional<VDLHoop>& designHoop() const { return designHoop_; }
    void setDesignHoop(std::optional<VDLHoop> h) { designHoop_ = std::move(h); }
    const VDLURL& designLocation() const { return designLocation_; }
    void setDesignLocation(const VDLURL& u) { designLocation_ = u; }

    // Bounds of the positions reached after each record, walked from (0,0).
    void recomputeBounds();
    // Resets the bounds the way readers start: min = largest float, max = its negative.
    void resetBoundsForReading();

    // Derived values.
    int32_t designWidth() const;
    int32_t designHeight() const;
    VDLPoint centerOfDesign() const;
    int64_t numberOfThreads() const { return int64_t(threads_.size()); }
    int32_t numberOfJumps() const;
    int32_t numberOfStitches() const;
    int64_t numberOfDifferentColors() const;
    VDLPoint firstStitch() const;
    VDLPoint lastStitch() const;
    std::string designPalette() const;
    std::string designPaletteName() const;
    bool isWritable() const;

    // Per-thread accessors; the index must be valid.
    const VDLColor& colorOfThread(int32_t i) const { return threads_.at(size_t(i)).color(); }
    const std::string& nameOfThread(int32_t i) const { return threads_.at(size_t(i)).name(); }
    const std::string& paletteOfThread(int32_t i) const { return threads_.at(size_t(i)).palette(); }
    bool isShownOfThread(int32_t i) const { return threads_.at(size_t(i)).isShown(); }
    void setIsShown(bool shown, int32_t i) { threads_.at(size_t(i)).setIsShown(shown); }
    bool isShownOfAllThreads() const;
    int64_t indexOfShownThread() const;

    // Hoop accessors.
    std::string hoopName() const;
    int32_t hoopWidth() const { return designHoop_ ? designHoop_->width() : 0; }
    int32_t hoopHeight() const { return designHoop_ ? designHoop_->height() : 0; }
    int32_t hoopCode() const { return designHoop_ ? designHoop_->code() : -1; }
    std::string hoopVendor() const { return designHoop_ ? designHoop_->vendor() : std::string(); }
    bool hoopIsRound() const { return designHoop_ ? designHoop_->isRounded() : false; }

    std::string description() const;

    // Keyed archive (window restoration, clipboard).
    void encodeWithCoder(VDLCoder& coder) const;
    explicit VDLDesign(const VDLCoder& coder);
    std::string archivedXML() const;
    // What a decoded archive must satisfy before anything works on it: one thread per colour
    // block (colour changes + 1; an empty archive holds neither); finite moves whose running position, and the recorded
    // bounds, stay within kLargestArchivedPosition of the start (the widest coordinate any of
    // our formats stores); and a stitch list the normalisation for any format we write would
    // grow to at most kMostNormalisedRecords records, worked out by one pass that allocates
    // nothing. PROBLEM receives the English reason to show.
    static constexpr float kLargestArchivedPosition = 8388608.0f;  // 2^23 units, 839 m
    static constexpr uint64_t kMostNormalisedRecords = uint64_t(1) << 24;
    bool isSoundArchive(std::string* problem = nullptr) const;
    // A design decoded from XML that passes isSoundArchive; none otherwise.
    static std::optional<VDLDesign> unarchiveFromXML(const std::string& xml, std::string* problem = nullptr);

    // ---- Hoops (model/design/VDLHoops.cpp) ----------------------------------------------
    static std::vector<VDLHoop> hoops();
    // The hoops of VENDOR in catalogue order; none (not an empty list) when none matches.
    static std::optional<std::vector<VDLHoop>> allHoopsFromVendor(const std::string& vendor);
    bool setHoopFromVendor(const std::string& vendor, int32_t code);
    std::optional<VDLHoop> findHoopFromVendor(const std::string& vendor) const;
    bool designFitsInHoop(const VDLHoop& hoop) const;
    bool stitchesOutsideOfHoop(const VDLHoop& hoop) const;

    // ---- Format dispatch (model/formats/dispatch.cpp) -----------------------------------
    bool importDesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool exportDesignToURL(const VDLURL& url, VDLError* error = nullptr);
    // The hoop check of the hoop-bearing writers (JEF: "Janome", PCS: "Pfaff"), with the
    // writer's own English texts for codes 60 and 51. On failure the hoop is put back.
    bool checkHoopForVendor(const std::string& vendor, const char* exceedsHoopText, const char* unsupportedHoopText,
                            VDLError* error);

    // ---- Thread side file (model/formats/threadfile.cpp) --------------------------------
    bool importThreadsForDesign(const VDLURL& designURL);
    bool exportThreadsForDesign(const VDLURL& designURL);
    bool deleteThreadsFromDesign(const VDLURL& designURL);

    // ---- Machine colour tables (model/formats/colortables.cpp) --------------------------
    static const std::map<int32_t, std::string>& janomeColorCodes();
    static const std::map<int32_t, std::string>& brotherColorCodes();
    static const std::map<int32_t, std::string>& brotherReadColorCodes();
    // Index to thread (readers): appends the thread of file colour INDEX of CHART ("Brother"
    // or "Janome"), with the chart's fallback code when the index has none.
    void appendThreadForColorIndex(int32_t index, const std::string& chart);
    // Thread to index (writers): the chart index of thread T, converting the design's thread
    // to the chart unless the thread side file is in use.
    int32_t colorIndexForThread(int32_t t, const std::string& chart);

    // ---- Formats: one unit each in model/formats/ ---------------------------------------
    bool importDstDesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool exportDstDesignToURL(const VDLURL& url, VDLError* error = nullptr);
    bool importExpDesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool exportExpDesignToURL(const VDLURL& url, VDLError* error = nullptr);
    bool importPesDesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool exportPesDesignToURL(const VDLURL& url, VDLError* error = nullptr);
    bool importPecDesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool exportPecDesignToURL(const VDLURL& url, VDLError* error = nullptr);
    bool importJefDesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool exportJefDesignToURL(const VDLURL& url, VDLError* error = nullptr);
    bool importJpxDesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool importSewDesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool importVp3DesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool importKsmDesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool importPcxDesignFromURL(const VDLURL& url, VDLError* error = nullptr);
    bool exportPcsDesignToURL(const VDLURL& url, VDLError* error = nullptr);

    // Byte-level entries, for the file readers/writers above and for tests and fuzzing.
    // Each takes the whole file content; the URL forms read the file and call these.
    bool importDstDesignFromData(std::span<const uint8_t> data, VDLError* error = nullptr);
    std::vector<uint8_t> exportDstDesignToData();
    bool importExpDesignFromData(std::span<const uint8_t> data, VDLError* error = nullptr);
    std::vector<uint8_t> exportExpDesignToData();
    bool importPesDesignFromData(std::span<const uint8_t> data, VDLError* error = nullptr);
    // The whole PES / PEC file as written, without the writer's limit checks (the URL forms
    // check, write atomically and then update type, version and hoop).
    std::vector<uint8_t> exportPesDesignToData();
    bool importPecDesignFromData(std::span<const uint8_t> data, VDLError* error = nullptr);
    std::vector<uint8_t> exportPecDesignToData();
    bool importJefDesignFromData(std::span<const uint8_t> data, bool jefPlus, VDLError* error = nullptr);
    // The JEF file for the design's current hoop (no hoop check); converts the threads to the
    // Janome chart unless the thread side file is in use.
    std::vector<uint8_t> exportJefDesignToData();
    bool importJpxDesignFromData(std::span<const uint8_t> data, VDLError* error = nullptr);
    bool importSewDesignFromData(std::span<const uint8_t> data, VDLError* error = nullptr);
    bool importVp3DesignFromData(std::span<const uint8_t> data, VDLError* error = nullptr);
    bool importKsmDesignFromData(std::span<const uint8_t> data, VDLError* error = nullptr);
    bool importPcxDesignFromData(std::span<const uint8_t> data, VDLError* error = nullptr);
    // The PCS bytes of the design in its current hoop (no limit or hoop check: the URL writer does those).
    std::vector<uint8_t> exportPcsDesignToData() const;

    // ---- PEC block (model/formats/pecblock.cpp) -----------------------------------------
    bool importPecSegmentFromData(std::span<const uint8_t> data, VDLError* error = nullptr);
    int32_t importPecStichesFromData(std::span<const uint8_t> data, int64_t offset, VDLError* error = nullptr);
    std::vector<uint8_t> exportPecSegmentToData();
    std::vector<uint8_t> exportPecBitmapToDataForThread(int32_t thread);

    // ---- Selection and hit testing (model/editing/selection.cpp) ------------------------
    void selectAll();
    void deselectAll();
    void invertAll();
    void selectInRect(VDLRect r, bool unselectMode);
    int32_t indexOfStitchAt(VDLPoint p, float tolerance) const;
    bool isSelectedAt(VDLPoint p, float tolerance) const;
    void selectStitchAt(VDLPoint p, float tolerance, bool unselectMode);
    void selectBlockAt(VDLPoint p, float tolerance, bool unselectMode);
    int32_t indexOfThreadAt(VDLPoint p, float tolerance) const;
    VDLRect selectionRect() const;

    // ---- Geometric transforms (model/editing/transform.cpp) -----------------------------
    bool flipSelection(const std::string& orientation, VDLError* error = nullptr);
    bool rotateSelectionByDegrees(int32_t degrees, VDLError* error = nullptr);
    bool moveSelectionByVector(VDLPoint vector, VDLError* error = nullptr);
    bool resizeSelectionByPercent(float factor, VDLError* error = nullptr);
    bool centerDesign();

    // ---- Deleting (model/editing/delete.cpp) --------------------------------------------
    bool deleteSelection(VDLError* error = nullptr);

    // ---- Jumps and normalisation (model/editing/normalise.cpp) --------------------------
    int32_t insertJump(VDLPoint vector, int32_t index);
    bool optimizeJumpsFor(const std::string& formatType);
    bool switchSelectionToJumps(bool toJumps, VDLError* error = nullptr);
    bool trimSelectedJumps();

    // ---- Thread blocks (model/editing/threadblocks.cpp) ---------------------------------
    bool deleteThreadAtIndex(int32_t k, VDLError* error = nullptr);
    bool insertThreadBeforeSelection(VDLError* error = nullptr);
    bool moveThreadFromIndex(int32_t from, int32_t to, VDLError* error = nullptr);
    bool appendDesign(const VDLDesign& other, VDLError* error = nullptr);
    void changeThread(int32_t index, const VDLColor& color, const std::string& palette);

    // ---- Basting (model/editing/basting.cpp) --------------------------------------------
    bool addBastingWithLength(float lengthMM, float distanceMM, VDLError* error = nullptr);

    // ---- Drawing (model/render/render.cpp) ----------------------------------------------
    void drawDesignInRect(VDLRect rect, VDLGraphicsContext& context, bool show3D, bool showJumps,
                          bool showStructure, int32_t thread = -1) const;

private:
    VDLRange displayRange_{0, 0};
    bool useThreadFile_ = false;
    bool selectionActive_ = false;
    int32_t designVersion_ = 0;
    float xMin_ = 0, yMin_ = 0, xMax_ = 0, yMax_ = 0;
    std::vector<VDLStitch> stitches_;
    std::vector<VDLThread> threads_;
    std::string designName_;
    std::string designType_;
    std::optional<VDLHoop> designHoop_;
    VDLURL designLocation_;
};
