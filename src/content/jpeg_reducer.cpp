#include "content/jpeg_reducer.h"

// jpeglib.h needs size_t and FILE declared first.
#include <csetjmp>
#include <cstdio>
#include <new>

#include <jpeglib.h>

namespace verava {
namespace {

// libjpeg reports errors through error_exit, which must not return: it jumps back to
// the setjmp in Decode. Nothing with a destructor lives between the two.
struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

// Warnings (level -1) mean damaged data, which libjpeg would paper over with grey blocks
// that look like ink; the caller must not judge such an image, so a warning ends decoding
// like an error. Trace messages (level >= 0) are dropped.
void WarningEndsDecoding(j_common_ptr info, int level) {
    if (level < 0) JumpOnError(info);
}

void Silent(j_common_ptr) {}

// Every progressive scan is a pass over the whole image; a file of thousands of tiny scans
// would take minutes.
void LimitScans(j_common_ptr info) {
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxJpegScans) JumpOnError(info);
}

int32_t ScaleNumerator(JDIMENSION width, JDIMENSION height, int32_t minLongSide) {
    const uint64_t longSide = width > height ? width : height;
    for (int32_t m = 1; m < 8; ++m) {
        if ((longSide * static_cast<uint64_t>(m) + 7) / 8 >= static_cast<uint64_t>(minLongSide))
            return m;
    }
    return 8;
}

// The decoding itself, C-style: between setjmp and any longjmp only libjpeg's frames and
// plain data, so the jump skips no destructor. `out.Samples` belongs to the caller's frame.
bool Decode(std::string_view data, int32_t minLongSide, bool keepColour, TReducedJpeg& out) {
    jpeg_decompress_struct info;
    ErrorJump error;
    jpeg_progress_mgr progress;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JumpOnError;
    error.manager.emit_message = WarningEndsDecoding;
    error.manager.output_message = Silent;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    progress.progress_monitor = LimitScans;
    info.progress = &progress;
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const int components = info.num_components;
    const uint64_t fullPixels = static_cast<uint64_t>(info.image_width) * info.image_height;
    // A progressive JPEG keeps every coefficient of the image (two bytes each) until its
    // last scan.
    const uint64_t coefficientBytes = info.progressive_mode ? fullPixels * components * 2 : 0;
    if ((components != 1 && components != 3 && components != 4) ||
        coefficientBytes > kMaxJpegMemory) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.scale_num = static_cast<unsigned int>(
        ScaleNumerator(info.image_width, info.image_height, minLongSide));
    info.scale_denom = 8;
    if (components == 4) {
        info.out_color_space = JCS_CMYK;
    } else if (components == 3 && keepColour) {
        info.out_color_space = JCS_RGB;
    } else {
        // Luminance straight from the decoder: the colour planes are not transformed.
        info.out_color_space = JCS_GRAYSCALE;
    }
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    info.do_block_smoothing = FALSE;
    info.mem->max_memory_to_use = static_cast<long>(kMaxJpegMemory);
    jpeg_calc_output_dimensions(&info);
    const uint64_t outputBytes = static_cast<uint64_t>(info.output_width) * info.output_height *
                                 static_cast<uint64_t>(info.out_color_components);
    if (outputBytes == 0 || outputBytes > kMaxJpegMemory) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    out.Width = static_cast<int32_t>(info.output_width);
    out.Height = static_cast<int32_t>(info.output_height);
    out.Components = info.out_color_components;
    out.AdobeCmyk = components == 4 && info.saw_Adobe_marker;
    try {
        out.Samples.resize(static_cast<size_t>(outputBytes));
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_start_decompress(&info);
    const size_t stride = static_cast<size_t>(info.output_width) * info.output_components;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.Samples.data() + stride * info.output_scanline;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    }
    const bool complete = info.output_scanline == info.output_height;
    if (complete) jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return complete;
}

}  // namespace

bool DecodeJpegReduced(std::string_view data, int32_t minLongSide, bool keepColour,
                       TReducedJpeg& out) {
    if (data.empty()) return false;
    out.Samples.clear();
    return Decode(data, minLongSide, keepColour, out);
}

}  // namespace verava
