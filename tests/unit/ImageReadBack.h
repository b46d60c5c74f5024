// Reading back the PNG and GIF files that the image writers make, with libpng and giflib, for
// the tests of the writers and of kptool preview.
#pragma once

#include "render/ImageFiles.h"

#include <gif_lib.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace kp::test {

inline RgbaImage ReadPng(const std::string& path) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    RgbaImage img;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return img;
    png.format = PNG_FORMAT_RGBA;
    img.width = static_cast<int>(png.width);
    img.height = static_cast<int>(png.height);
    img.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, img.rgba.data(), 0, nullptr))
        img = RgbaImage{};
    return img;
}

// One frame of a GIF as read back: its delay, disposal, transparent index and pixels as RGBA
// (black with alpha 0 for the transparent index).
struct GifFrame {
    int delayCs = -1;
    int disposal = -1;
    int transparent = NO_TRANSPARENT_COLOR;
    int colorCount = 0;
    RgbaImage image;
};
struct Gif {
    int width = 0, height = 0;
    bool loops = false;
    std::vector<GifFrame> frames;
};

inline Gif ReadGif(const std::string& path) {
    Gif out;
    int err = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &err);
    if (!gif)
        return out;
    if (DGifSlurp(gif) == GIF_OK) {
        out.width = gif->SWidth;
        out.height = gif->SHeight;
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage& s = gif->SavedImages[i];
            for (int e = 0; e < s.ExtensionBlockCount; ++e)
                if (s.ExtensionBlocks[e].Function == APPLICATION_EXT_FUNC_CODE &&
                    s.ExtensionBlocks[e].ByteCount == 11 &&
                    std::memcmp(s.ExtensionBlocks[e].Bytes, "NETSCAPE2.0", 11) == 0)
                    out.loops = true;
            GifFrame f;
            GraphicsControlBlock gcb;
            if (DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK) {
                f.delayCs = gcb.DelayTime;
                f.disposal = gcb.DisposalMode;
                f.transparent = gcb.TransparentColor;
            }
            const ColorMapObject* map = s.ImageDesc.ColorMap ? s.ImageDesc.ColorMap : gif->SColorMap;
            f.colorCount = map ? map->ColorCount : 0;
            f.image.width = s.ImageDesc.Width;
            f.image.height = s.ImageDesc.Height;
            f.image.rgba.assign(static_cast<std::size_t>(f.image.width) * f.image.height * 4, 0);
            for (int p = 0; p < s.ImageDesc.Width * s.ImageDesc.Height; ++p) {
                const int index = s.RasterBits[p];
                std::uint8_t* px = f.image.rgba.data() + 4 * p;
                if (index != f.transparent && map && index < map->ColorCount) {
                    px[0] = map->Colors[index].Red;
                    px[1] = map->Colors[index].Green;
                    px[2] = map->Colors[index].Blue;
                    px[3] = 255;
                }
            }
            out.frames.push_back(std::move(f));
        }
    }
    DGifCloseFile(gif, &err);
    return out;
}

// Transparent pixels compare by transparency alone: their colour is not kept.
inline bool SamePicture(const RgbaImage& a, const RgbaImage& b, int tolerance = 0) {
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size())
        return false;
    for (std::size_t i = 0; i < a.rgba.size(); i += 4) {
        const bool ta = a.rgba[i + 3] < 128, tb = b.rgba[i + 3] < 128;
        if (ta != tb)
            return false;
        if (!ta)
            for (int c = 0; c < 3; ++c)
                if (std::abs(a.rgba[i + c] - b.rgba[i + c]) > tolerance)
                    return false;
    }
    return true;
}

} // namespace kp::test
