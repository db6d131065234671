#pragma once
// The C boundary of the JPEG picture: every function here that calls into libjpeg and may be
// left by its error exit has a single setjmp and holds no C++ object with a destructor; its
// caller turns the result (a libjpeg message code, 0 for success) into an exception.

#include <QtGlobal>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <memory>

#include <sys/types.h>

#include <jpeglib.h>

class TArrivingBytes;

namespace jpegc {

constexpr int kAbortCode = -1;
constexpr int kForeignExceptionCode = -2;

struct ErrorMgr {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;
};

// Source over memory, or over a file read in chunks for header-only parsing.
struct SourceMgr {
    jpeg_source_mgr pub;
    const JOCTET *data;
    size_t size;
    int fd;
    off_t filePos;
    TArrivingBytes *arriving; // bytes still coming: the decoder waits where it catches up
    qsizetype given;          // how many of them it has been handed
    bool startOfFile;
    JOCTET chunk[16384];
};

struct HeaderInfo {
    int width, height;
    bool grayscale, multiScan;
};

// Everything the decoding steps need, as plain data.
struct DecodeJob {
    SourceMgr src;
    int scaleShift;
    bool smoothing, grayOut, quantize, fast, buffered, cmyk, gray;
    int presetColors; // > 0: colormap taken from presetMap
    JSAMPLE presetMap[3][256];
    // out
    int outWidth, outHeight, components;
    int mapColors;
    JSAMPLE map[3][256];
    // rows
    JSAMPLE *base;
    ptrdiff_t stride;
    bool multiRow;
    JSAMPLE *cmykRow; // one row of 4-byte pixels when converting CMYK
};

struct CompressJob {
    JSAMPROW *rows;
    int width, height, components;
    J_COLOR_SPACE inSpace;
    int quality;
    bool gray, progressive, multiRow;
    unsigned char *out;
    unsigned long outSize;
};

struct DecompressDeleter {
    void operator()(jpeg_decompress_struct *ci) const
    {
        jpeg_destroy_decompress(ci);
        delete ci;
    }
};

struct CompressDeleter {
    void operator()(jpeg_compress_struct *ci) const
    {
        jpeg_destroy_compress(ci);
        delete ci;
    }
};

void initErrorMgr(ErrorMgr &err);
// Over memory (fd < 0), over a file read in chunks, or over bytes still arriving.
void initSourceMgr(SourceMgr &src, const JOCTET *data, size_t size, int fd, TArrivingBytes *arriving = nullptr);
int readHeaderC(jpeg_decompress_struct *ci, ErrorMgr *err, SourceMgr *src, HeaderInfo *out);
int decodeSetupC(jpeg_decompress_struct *ci, ErrorMgr *err, DecodeJob *job);
int decodeRunC(jpeg_decompress_struct *ci, ErrorMgr *err, DecodeJob *job);
int cropStartC(jpeg_decompress_struct *ci, ErrorMgr *err, JDIMENSION width, JDIMENSION *outWidth);
int cropRowsC(jpeg_decompress_struct *ci, ErrorMgr *err, DecodeJob *job, JDIMENSION rows);
int compressC(jpeg_compress_struct *ci, ErrorMgr *err, CompressJob *job);
int createCompressC(jpeg_compress_struct *ci, ErrorMgr *err);
// Throws EJPEG when libjpeg cannot make one.
std::unique_ptr<jpeg_decompress_struct, DecompressDeleter> newDecompressor(ErrorMgr &err);

} // namespace jpegc
