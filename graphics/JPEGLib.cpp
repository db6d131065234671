#include "JPEGLib.h"

#include "ArrivingBytes.h"
#include "JPEG.h"

#include <cstring>

#include <unistd.h>

#include <jerror.h>

namespace jpegc {

extern "C" void errorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorMgr *>(cinfo->err);
    if (err->code == 0)
        err->code = cinfo->err->msg_code;
    std::longjmp(err->jump, 1);
}

extern "C" void emitMessage(j_common_ptr, int) {}
extern "C" void outputMessage(j_common_ptr) {}

extern "C" void resetErrorMgr(j_common_ptr cinfo)
{
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

void initErrorMgr(ErrorMgr &err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
    err.pub.reset_error_mgr = resetErrorMgr;
    err.code = 0;
}

const JOCTET kFakeEOI[2] = {0xFF, JPEG_EOI};

extern "C" void initSource(j_decompress_ptr) {}
extern "C" void termSource(j_decompress_ptr) {}

extern "C" boolean fillInputBuffer(j_decompress_ptr cinfo)
{
    auto *src = reinterpret_cast<SourceMgr *>(cinfo->src);
    if (src->arriving) {
        const qsizetype ready = src->arriving->waitBeyond(src->given);
        if (ready > src->given) {
            src->startOfFile = false;
            src->pub.next_input_byte = src->data + src->given;
            src->pub.bytes_in_buffer = size_t(ready - src->given);
            src->given = ready;
            return TRUE;
        }
    }
    if (src->fd >= 0) {
        ssize_t n;
        do
            n = ::pread(src->fd, src->chunk, sizeof src->chunk, src->filePos);
        while (n < 0 && errno == EINTR);
        if (n > 0) {
            src->startOfFile = false;
            src->filePos += n;
            src->pub.next_input_byte = src->chunk;
            src->pub.bytes_in_buffer = size_t(n);
            return TRUE;
        }
    }
    if (src->startOfFile)
        ERREXIT(cinfo, JERR_INPUT_EMPTY);
    // Truncated data ends in a fake EOI, as libjpeg's own sources do: the decoder warns and
    // fills the rest of the picture instead of failing.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kFakeEOI;
    src->pub.bytes_in_buffer = 2;
    return TRUE;
}

extern "C" void skipInputData(j_decompress_ptr cinfo, long count)
{
    auto *src = reinterpret_cast<SourceMgr *>(cinfo->src);
    if (count <= 0)
        return;
    if (size_t(count) <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= size_t(count);
        return;
    }
    if (src->fd >= 0)
        src->filePos += off_t(size_t(count) - src->pub.bytes_in_buffer);
    if (src->arriving)
        src->given += qsizetype(size_t(count) - src->pub.bytes_in_buffer);
    src->pub.bytes_in_buffer = 0;
    // From a file this reads on after the skipped bytes; from memory it is the end of the data.
    fillInputBuffer(cinfo);
}

void initSourceMgr(SourceMgr &src, const JOCTET *data, size_t size, int fd, TArrivingBytes *arriving)
{
    src.pub.init_source = initSource;
    src.pub.fill_input_buffer = fillInputBuffer;
    src.pub.skip_input_data = skipInputData;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = termSource;
    src.pub.next_input_byte = data;
    src.pub.bytes_in_buffer = size;
    src.data = data;
    src.size = size;
    src.fd = fd;
    src.filePos = 0;
    src.arriving = arriving;
    src.given = 0;
    src.startOfFile = size == 0;
    if (arriving) {
        src.data = reinterpret_cast<const JOCTET *>(arriving->constData());
        src.size = size_t(arriving->size());
        src.pub.bytes_in_buffer = 0;
        src.startOfFile = true;
    }
}

int readHeaderC(jpeg_decompress_struct *ci, ErrorMgr *err, SourceMgr *src, HeaderInfo *out)
{
    if (setjmp(err->jump))
        return err->code ? err->code : JERR_UNKNOWN_MARKER;
    ci->src = &src->pub;
    jpeg_read_header(ci, TRUE);
    out->width = int(ci->image_width);
    out->height = int(ci->image_height);
    out->grayscale = ci->jpeg_color_space == JCS_GRAYSCALE;
    out->multiScan = jpeg_has_multiple_scans(ci);
    return 0;
}

int decodeSetupC(jpeg_decompress_struct *ci, ErrorMgr *err, DecodeJob *job)
{
    if (setjmp(err->jump))
        return err->code;
    ci->src = &job->src.pub;
    jpeg_read_header(ci, TRUE);
    ci->scale_num = 1;
    ci->scale_denom = 1u << job->scaleShift;
    ci->do_block_smoothing = job->smoothing ? TRUE : FALSE;
    job->cmyk = ci->jpeg_color_space == JCS_CMYK || ci->jpeg_color_space == JCS_YCCK;
    if (job->grayOut || ci->jpeg_color_space == JCS_GRAYSCALE)
        ci->out_color_space = JCS_GRAYSCALE;
    else if (job->cmyk)
        ci->out_color_space = JCS_CMYK;
    else
        ci->out_color_space = JCS_EXT_BGR;
    // Grey output keeps every one of its 256 levels; only colour is quantised for 8-bit screens.
    job->gray = ci->out_color_space == JCS_GRAYSCALE;
    job->quantize = job->quantize && !job->gray && !job->cmyk;
    if (job->quantize) {
        ci->quantize_colors = TRUE;
        ci->desired_number_of_colors = 236;
    }
    if (job->fast) {
        ci->dct_method = JDCT_IFAST;
        ci->two_pass_quantize = FALSE;
        ci->dither_mode = JDITHER_ORDERED;
    }
    job->buffered = job->buffered && jpeg_has_multiple_scans(ci);
    if (job->buffered) {
        ci->buffered_image = TRUE;
        if (job->quantize) {
            ci->enable_1pass_quant = TRUE;
            ci->enable_2pass_quant = ci->two_pass_quantize;
        }
    }
    if (job->quantize && job->presetColors > 0) {
        ci->colormap =
            (*ci->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(ci), JPOOL_IMAGE, JDIMENSION(job->presetColors), 3);
        for (int c = 0; c < 3; ++c)
            std::memcpy(ci->colormap[c], job->presetMap[c], size_t(job->presetColors));
        ci->actual_number_of_colors = job->presetColors;
    }
    jpeg_calc_output_dimensions(ci);
    job->outWidth = int(ci->output_width);
    job->outHeight = int(ci->output_height);
    job->components = ci->out_color_components;
    return 0;
}

void copyColormap(jpeg_decompress_struct *ci, DecodeJob *job)
{
    job->mapColors = 0;
    if (!ci->quantize_colors || !ci->colormap)
        return;
    job->mapColors = ci->actual_number_of_colors > 256 ? 256 : ci->actual_number_of_colors;
    for (int c = 0; c < ci->out_color_components && c < 3; ++c)
        std::memcpy(job->map[c], ci->colormap[c], size_t(job->mapColors));
}

void readRowsC(jpeg_decompress_struct *ci, DecodeJob *job)
{
    while (ci->output_scanline < ci->output_height) {
        const JDIMENSION y = ci->output_scanline;
        if (job->cmyk) {
            JSAMPROW row = job->cmykRow;
            jpeg_read_scanlines(ci, &row, 1);
            // Photoshop writes CMYK inverted, which is how nearly every CMYK JPEG comes.
            JSAMPLE *out = job->base + ptrdiff_t(y) * job->stride;
            for (int x = 0; x < job->outWidth; ++x) {
                const unsigned k = row[x * 4 + 3];
                out[x * 3 + 0] = JSAMPLE(row[x * 4 + 2] * k / 255);
                out[x * 3 + 1] = JSAMPLE(row[x * 4 + 1] * k / 255);
                out[x * 3 + 2] = JSAMPLE(row[x * 4 + 0] * k / 255);
            }
            continue;
        }
        JSAMPROW rows[16];
        JDIMENSION n = 1;
        if (job->multiRow) {
            n = JDIMENSION(ci->rec_outbuf_height);
            if (n > 16)
                n = 16;
            if (n > ci->output_height - y)
                n = ci->output_height - y;
        }
        for (JDIMENSION k = 0; k < n; ++k)
            rows[k] = job->base + ptrdiff_t(y + k) * job->stride;
        jpeg_read_scanlines(ci, rows, n);
    }
}

int decodeRunC(jpeg_decompress_struct *ci, ErrorMgr *err, DecodeJob *job)
{
    if (setjmp(err->jump))
        return err->code;
    jpeg_start_decompress(ci);
    if (!job->buffered) {
        copyColormap(ci, job);
        readRowsC(ci, job);
    } else {
        const J_DCT_METHOD finalDct = ci->dct_method;
        const boolean finalTwoPass = ci->two_pass_quantize;
        const J_DITHER_MODE finalDither = ci->dither_mode;
        while (!jpeg_input_complete(ci)) {
            ci->dct_method = JDCT_IFAST;
            ci->two_pass_quantize = FALSE;
            ci->dither_mode = JDITHER_ORDERED;
            if (ci->quantize_colors)
                ci->colormap = nullptr;
            jpeg_start_output(ci, ci->input_scan_number);
            copyColormap(ci, job);
            readRowsC(ci, job);
            jpeg_finish_output(ci);
        }
        ci->dct_method = finalDct;
        ci->two_pass_quantize = finalTwoPass;
        ci->dither_mode = finalDither;
        if (ci->quantize_colors)
            ci->colormap = nullptr;
        jpeg_start_output(ci, ci->input_scan_number);
        copyColormap(ci, job);
        readRowsC(ci, job);
        jpeg_finish_output(ci);
    }
    jpeg_finish_decompress(ci);
    return 0;
}

int cropStartC(jpeg_decompress_struct *ci, ErrorMgr *err, JDIMENSION width, JDIMENSION *outWidth)
{
    if (setjmp(err->jump))
        return err->code;
    jpeg_start_decompress(ci);
    JDIMENSION x = 0, w = width < ci->output_width ? width : ci->output_width;
    if (w < ci->output_width)
        jpeg_crop_scanline(ci, &x, &w);
    *outWidth = w;
    return 0;
}

int cropRowsC(jpeg_decompress_struct *ci, ErrorMgr *err, DecodeJob *job, JDIMENSION rows)
{
    if (setjmp(err->jump))
        return err->code;
    while (ci->output_scanline < rows) {
        JSAMPROW row = job->base + ptrdiff_t(ci->output_scanline) * job->stride;
        jpeg_read_scanlines(ci, &row, 1);
    }
    return 0;
}

int compressC(jpeg_compress_struct *ci, ErrorMgr *err, CompressJob *job)
{
    if (setjmp(err->jump))
        return err->code;
    jpeg_mem_dest(ci, &job->out, &job->outSize);
    ci->image_width = JDIMENSION(job->width);
    ci->image_height = JDIMENSION(job->height);
    ci->input_components = job->components;
    ci->in_color_space = job->inSpace;
    jpeg_set_defaults(ci);
    jpeg_set_quality(ci, job->quality, TRUE);
    if (job->gray)
        jpeg_set_colorspace(ci, JCS_GRAYSCALE);
    if (job->progressive)
        jpeg_simple_progression(ci);
    jpeg_start_compress(ci, TRUE);
    while (ci->next_scanline < ci->image_height) {
        const JDIMENSION y = ci->next_scanline;
        const JDIMENSION n = job->multiRow ? ci->image_height - y : 1;
        jpeg_write_scanlines(ci, job->rows + y, n);
    }
    jpeg_finish_compress(ci);
    return 0;
}

// The decompressor must not be created inside a setjmp function either: jpeg_create_* can only
// fail on memory, which it reports through the error exit, so it gets its own small guard.
int createDecompressC(jpeg_decompress_struct *ci, ErrorMgr *err)
{
    if (setjmp(err->jump))
        return err->code;
    ci->err = &err->pub;
    jpeg_create_decompress(ci);
    return 0;
}

int createCompressC(jpeg_compress_struct *ci, ErrorMgr *err)
{
    if (setjmp(err->jump))
        return err->code;
    ci->err = &err->pub;
    jpeg_create_compress(ci);
    return 0;
}

std::unique_ptr<jpeg_decompress_struct, DecompressDeleter> newDecompressor(ErrorMgr &err)
{
    auto *ci = new jpeg_decompress_struct{};
    if (const int code = createDecompressC(ci, &err)) {
        delete ci;
        throw EJPEG(code);
    }
    return std::unique_ptr<jpeg_decompress_struct, DecompressDeleter>(ci);
}

} // namespace jpegc
