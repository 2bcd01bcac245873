#include "import/write/animation_file.h"

#include <gif_lib.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstring>

#include "import/import_error.h"

namespace importer {

int64_t LargestAnimationSide(AnimationFormat format) {
  return format == AnimationFormat::kWebP ? WEBP_MAX_DIMENSION : 65535;
}

struct AnimationEncoder::Format {
  int width, height;
  std::string file;
  Format(int w, int h, std::string name) : width(w), height(h), file(std::move(name)) {}
  virtual ~Format() = default;
  virtual void Add(const std::vector<Pixel>& pixels, int64_t durationMs) = 0;
  virtual std::vector<uint8_t> Finish() = 0;
  [[noreturn]] void Fail(const std::string& problem) const { throw ImportError(Where(file) + problem); }
};

// Each frame is added at the time it starts; the encoder keeps the
// differences between frames, lossless, at its quickest effort.
struct AnimationEncoder::WebP : Format {
  WebPAnimEncoder* encoder = nullptr;
  WebPConfig config;
  int64_t time = 0;

  WebP(int w, int h, std::string name) : Format(w, h, std::move(name)) {
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config) || !WebPConfigLosslessPreset(&config, 0))
      Fail("the WebP encoder can't be set up");
    options.anim_params.loop_count = 0;  // for ever
    options.allow_mixed = 0;
    encoder = WebPAnimEncoderNew(w, h, &options);
    if (encoder == nullptr) Fail("the WebP encoder can't be set up");
  }
  ~WebP() override { WebPAnimEncoderDelete(encoder); }

  void Add(const std::vector<Pixel>& pixels, int64_t durationMs) override {
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) Fail("the WebP encoder can't be set up");
    picture.use_argb = 1;
    picture.width = width, picture.height = height;
    static_assert(sizeof(Pixel) == 4, "pixels are RGBA bytes");
    const bool imported = WebPPictureImportRGBA(&picture, reinterpret_cast<const uint8_t*>(pixels.data()), width * 4);
    const bool added = imported && WebPAnimEncoderAdd(encoder, &picture, static_cast<int>(time), &config);
    WebPPictureFree(&picture);
    if (!added) Fail(std::string("a frame can't be encoded: ") + WebPAnimEncoderGetError(encoder));
    time += durationMs;
  }

  std::vector<uint8_t> Finish() override {
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAdd(encoder, nullptr, static_cast<int>(time), nullptr) ||
        !WebPAnimEncoderAssemble(encoder, &data))
      Fail(std::string("the animation can't be assembled: ") + WebPAnimEncoderGetError(encoder));
    std::vector<uint8_t> bytes(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    return bytes;
  }
};

// A palette of at most 255 colours for each frame (median cut, giflib's
// quantiser), the 256th for transparent pixels; each frame replaces the one
// before whole (disposed to the background, which is transparent).
struct AnimationEncoder::Gif : Format {
  GifFileType* gif = nullptr;
  std::vector<uint8_t> bytes;
  int64_t time = 0, units = 0;  // in milliseconds, and in the 10 ms units written so far
  static constexpr int kTransparent = 255;

  static int Write(GifFileType* file, const GifByteType* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(file->UserData);
    out->insert(out->end(), data, data + size);
    return size;
  }

  Gif(int w, int h, std::string name) : Format(w, h, std::move(name)) {
    int error = 0;
    gif = EGifOpen(&bytes, Write, &error);
    if (gif == nullptr) Fail(std::string("the GIF encoder can't be set up: ") + GifErrorString(error));
    EGifSetGifVersion(gif, true);
    if (EGifPutScreenDesc(gif, w, h, 8, 0, nullptr) == GIF_ERROR) Fail(GifProblem());
    // The application extension that makes browsers loop it for ever.
    const GifByteType loop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") == GIF_ERROR ||
        EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_ERROR || EGifPutExtensionTrailer(gif) == GIF_ERROR)
      Fail(GifProblem());
  }
  ~Gif() override {
    if (gif != nullptr) EGifCloseFile(gif, nullptr);
  }

  std::string GifProblem() const { return std::string("the GIF can't be written: ") + GifErrorString(gif->Error); }

  void Add(const std::vector<Pixel>& pixels, int64_t durationMs) override {
    const size_t count = static_cast<size_t>(width) * height;
    // Transparent pixels take the colour of an opaque one, so as not to
    // spend the palette on them.
    const auto opaque = std::find_if(pixels.begin(), pixels.end(), [](Pixel p) { return p.a >= 128; });
    const Pixel stand = opaque != pixels.end() ? *opaque : Pixel{};
    std::vector<GifByteType> red(count), green(count), blue(count), indices(count);
    for (size_t i = 0; i < count; ++i) {
      const Pixel p = pixels[i].a >= 128 ? pixels[i] : stand;
      red[i] = p.r, green[i] = p.g, blue[i] = p.b;
    }
    int colours = 255;
    GifColorType palette[256] = {};
    if (GifQuantizeBuffer(static_cast<unsigned>(width), static_cast<unsigned>(height), &colours, red.data(),
                          green.data(), blue.data(), indices.data(), palette) == GIF_ERROR)
      Fail("a frame's palette can't be made");
    bool transparent = false;
    for (size_t i = 0; i < count; ++i)
      if (pixels[i].a < 128) indices[i] = kTransparent, transparent = true;
    // The rounding carried: each frame ends at its end time, rounded.
    time += durationMs;
    const int64_t end = (time + 5) / 10;
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_BACKGROUND;
    control.DelayTime = static_cast<int>(std::min<int64_t>(end - units, 65535));
    control.TransparentColor = transparent ? kTransparent : NO_TRANSPARENT_COLOR;
    units = end;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&control, extension);
    ColorMapObject* map = GifMakeMapObject(256, palette);
    if (map == nullptr) Fail("a frame's palette can't be made");
    const bool written =
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) != GIF_ERROR &&
        EGifPutImageDesc(gif, 0, 0, width, height, false, map) != GIF_ERROR;
    GifFreeMapObject(map);
    if (!written) Fail(GifProblem());
    for (int y = 0; y < height; ++y)
      if (EGifPutLine(gif, indices.data() + static_cast<size_t>(y) * width, width) == GIF_ERROR) Fail(GifProblem());
  }

  std::vector<uint8_t> Finish() override {
    int error = 0;
    const int closed = EGifCloseFile(gif, &error);
    gif = nullptr;
    if (closed == GIF_ERROR) Fail(std::string("the GIF can't be written: ") + GifErrorString(error));
    return std::move(bytes);
  }
};

AnimationEncoder::AnimationEncoder(AnimationFormat format, int width, int height, std::string file) {
  if (format == AnimationFormat::kWebP)
    format_ = std::make_unique<WebP>(width, height, std::move(file));
  else
    format_ = std::make_unique<Gif>(width, height, std::move(file));
}

AnimationEncoder::~AnimationEncoder() = default;

void AnimationEncoder::Add(const std::vector<Pixel>& pixels, int64_t durationMs) {
  format_->Add(pixels, durationMs);
}

std::vector<uint8_t> AnimationEncoder::Finish() { return format_->Finish(); }

}  // namespace importer
