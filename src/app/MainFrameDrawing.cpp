// Cells, palettes and window shapes: what the script's draw, region, shape and palette
// instructions ask of the character window.
#include "app/MainFrame.h"

#include "app/Scale.h"
#include "chardata/Loader.h"
#include "chardata/Palette.h"

namespace kp {

namespace {

constexpr BYTE kKindBitmap = 'b';
constexpr WORD kNoSlot = 0xFFFF;

} // namespace

void CMainFrame::DrawCell(WORD cell) {
    if (!m_pCanvas)
        return;
    bool ok = true;
    const FileOffset bih = m_file.CellBitmapInfoOffset(cell, &ok);
    const WORD x = m_file.CellX(cell, &ok);
    const WORD y = m_file.CellY(cell, &ok);
    const BitmapInfo bi = m_file.ReadBitmapInfo(bih, &ok);
    if (!ok || !CellSizeInRange(bi.biWidth, bi.biHeight))
        return;
    m_stepRecord.Cell(cell);
    const ImageView& image = m_file.Image();
    // Positions are unsigned: a cell at 0xFFF0 lies far to the right, not 16 pixels to the left.
    m_pCanvas->DrawDib(x, y, DibRef{image.Base(), image.Size(), bih, m_file.PixelBitsOffset(bih, bi)});
}

WORD CMainFrame::CreateMaskRgn(BYTE kind, WORD cell) {
    WORD slot = 0;
    while (slot < kMaskSlots && m_apMaskRgn[slot])
        ++slot;
    if (slot == kMaskSlots)
        return kNoSlot;
    if (kind != kKindBitmap)
        return slot;
    // The slot is taken whatever the build gives: a mask without inside pixels, or one that
    // cannot be read, holds no region.
    auto rgn = std::make_unique<CMaskRgn>();
    bool ok = true;
    const FileOffset bih = m_file.CellBitmapInfoOffset(cell, &ok);
    const BitmapInfo bi = m_file.ReadBitmapInfo(bih, &ok);
    if (ok && CellSizeInRange(bi.biWidth, bi.biHeight))
        rgn->BuildFromBits(m_file.Image(), bih, m_file.PixelBitsOffset(bih, bi), bi.biWidth, bi.biHeight,
                           bi.biBitCount);
    m_apMaskRgn[slot] = std::move(rgn);
    return slot;
}

void CMainFrame::SetShape(WORD slot) {
    // No shape to apply (a free slot, or 0xFFFF from a full set of slots): keep the current one.
    if (slot >= kMaskSlots || !m_apMaskRgn[slot])
        return;
    const CMaskRgn& mask = *m_apMaskRgn[slot];
    // A mask without inside pixels is an empty shape: nothing of the window stays visible.
    static const RectRegion kEmpty;
    const RectRegion& shape = mask.HasRegion() ? mask.Region() : kEmpty;
    const bool layered = m_app.m_bWin2000 != FALSE;
    // The shape the window has already: applying it again would change nothing on the screen
    // (most scripts set the shape of every frame, mostly the same one).
    if (m_appliedShape && m_bAppliedLayered == layered && *m_appliedShape == shape)
        return;
    m_appliedShape = shape;
    m_bAppliedLayered = layered;
    ++m_nShapeGeneration;
    if (layered) {
        // Colour-key mode: everything outside the shape is painted in the key colour at the next
        // paint; nothing is repainted here.
        const RectRegion whole(Rect{0, 0, m_file.CanvasWidth(), m_file.CanvasHeight()});
        m_hRgn = RectRegion::Difference(whole, shape);
    } else {
        // Region mode: the platform takes its own copy, in window pixels; the slot keeps its
        // region for later use, and m_rgnShape the shape for a change of scale.
        m_rgnShape = shape;
        m_window.SetWindowRegion(ScaleRegion(shape, m_nScale));
    }
}

void CMainFrame::ReplacePalette(WORD cell) {
    bool ok = true;
    const FileOffset bih = m_file.CellBitmapInfoOffset(cell, &ok);
    if (!ok)
        return;
    auto palette = std::make_unique<LogPalette>();
    // A cell without a colour table gives no palette; the character keeps the one it has.
    if (!CreateCellPalette(m_file.Image(), bih, *palette))
        return;
    if (!m_pPalette || !(*m_pPalette == *palette))
        ++m_nPaletteGeneration;
    m_stepRecord.Palette(m_nPaletteGeneration);
    m_pPalette = std::move(palette);
    if (m_pCanvas)
        m_pCanvas->SelectPalette(*m_pPalette);
}

bool CMainFrame::StepChangedFrame(unsigned shapes, unsigned palettes) const {
    if (shapes != m_nShapeGeneration)
        return true;
    if (!m_stepRecord.Draws() && palettes == m_nPaletteGeneration)
        return false;
    return m_stepRecord != m_lastStepRecord;
}

void CMainFrame::FreeMaskRegions() {
    for (auto& slot : m_apMaskRgn)
        slot.reset();
}

} // namespace kp
