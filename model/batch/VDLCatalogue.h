#pragma once
// A printable contact sheet of a collection: pages of cells, one per design (its picture drawn
// as the preview draws it, file name, format, size in the user's unit, stitch count, thread
// colours as swatches with their names), a title and page numbers. Pages are drawn into any
// graphics context, so a print dialog can draw the same pages; VDLWriteCatalogue makes the PDF.
#include "model/batch/VDLBatch.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class VDLCairoContext;
class VDLDesign;
class VDLGraphicsContext;

struct VDLCatalogueLayout {
    double pageWidth = 595.28;   // points; A4 unless told
    double pageHeight = 841.89;
    int perPage = 12;
    std::string title;
    int64_t unit = 0;  // measurement unit of the sizes (0 mm, 1 decimal inches, 2 fractional inches)
    // Pixels per point of the pictures VDLMakeCatalogue draws ahead on its threads (2: 144 per
    // inch); 0 draws every stitch into the page itself.
    double pictureScale = 2;
};

// Paper by name ("a4", "letter"); false for another name.
bool VDLCataloguePaper(const std::string& name, VDLCatalogueLayout& layout);

// One cell: the file's name, and its design or (design null) the reason it could not be read.
struct VDLCatalogueCell {
    std::string fileName;
    const VDLDesign* design = nullptr;
    std::string error;
    // The design drawn ahead as a picture (VDLCataloguePicture); null: drawn stitch by stitch.
    const VDLCairoContext* picture = nullptr;
};

// The size in points of a cell's picture on pages of LAYOUT.
void VDLCataloguePictureSize(const VDLCatalogueLayout& layout, double& width, double& height);
// DESIGN drawn as a cell's picture at LAYOUT's picture scale, as the preview draws it; null when
// the scale is 0 or the picture cannot be made.
std::unique_ptr<VDLCairoContext> VDLCataloguePicture(const VDLDesign& design, const VDLCatalogueLayout& layout);

int VDLCataloguePageCount(size_t designs, int perPage);

// Draws page PAGE (from 0) of PAGECOUNT into CONTEXT, whose user space is the page in points,
// Y up, origin at the lower left.
void VDLDrawCataloguePage(VDLGraphicsContext& context, const VDLCatalogueLayout& layout, int page, int pageCount,
                          const std::vector<VDLCatalogueCell>& cells);

struct VDLCatalogueResult {
    std::vector<uint8_t> pdf;  // empty when cancelled or the document could not be made
    int pages = 0;
    size_t unreadable = 0;     // designs shown with their error instead of a picture
    bool cancelled = false;
};

// Reads FILES a page at a time on JOBS threads (so only one page of designs is in memory) and
// draws every page into a PDF. PROGRESS(done, file, outcome) follows every design read.
VDLCatalogueResult VDLMakeCatalogue(const std::vector<VDLBatchFile>& files, const VDLCatalogueLayout& layout,
                                    unsigned jobs, const std::atomic<bool>* cancel,
                                    const std::function<void(size_t, const VDLBatchFile&, const VDLBatchOutcome&)>& progress);
