/* Writes small TIFF images with libtiff's encoders and saves, per strip, the
 * packed bytes (<name>_s<N>.packed) and libtiff's own decoding of them
 * (<name>_s<N>.rows), plus JPEGTables when present (<name>.tables).
 * Build and run through make_data.sh; the outputs are committed. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tiffio.h>

static uint32_t seed = 12345;
static uint32_t rnd(void) { seed = seed * 1103515245u + 12345u; return (seed >> 16) & 0x7fff; }

static void save(const char* name, const char* suffix, int strip, const void* data, size_t n) {
    char path[256];
    if (strip >= 0) snprintf(path, sizeof path, "%s_s%d.%s", name, strip, suffix);
    else snprintf(path, sizeof path, "%s.%s", name, suffix);
    FILE* f = fopen(path, "wb");
    if (!f || fwrite(data, 1, n, f) != n) { perror(path); exit(1); }
    fclose(f);
}

/* Re-opens the file and dumps every strip raw and decoded. */
static void dump(const char* name, const char* file, int jpegRgb) {
    TIFF* t = TIFFOpen(file, "r");
    if (!t) exit(1);
    if (jpegRgb) TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    uint32_t count = 0; void* tables = NULL;
    if (TIFFGetField(t, TIFFTAG_JPEGTABLES, &count, &tables) && count) save(name, "tables", -1, tables, count);
    tstrip_t n = TIFFNumberOfStrips(t);
    uint64_t* bc = NULL;
    TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &bc);
    for (tstrip_t s = 0; s < n; ++s) {
        tmsize_t rawSize = (tmsize_t)bc[s];
        unsigned char* raw = malloc(rawSize);
        if (TIFFReadRawStrip(t, s, raw, rawSize) != rawSize) exit(2);
        save(name, "packed", (int)s, raw, rawSize);
        tmsize_t size = TIFFStripSize(t) * 4;
        unsigned char* rows = calloc(1, size);
        tmsize_t got = TIFFReadEncodedStrip(t, s, rows, size);
        if (got < 0) exit(3);
        save(name, "rows", (int)s, rows, got);
        free(raw); free(rows);
    }
    TIFFClose(t);
}

typedef void (*Fill)(unsigned char* row, uint32_t y, uint32_t width, int spp);

static void fillGray(unsigned char* row, uint32_t y, uint32_t w, int spp) {
    /* runs, ramps and noise, so every packet kind occurs */
    for (uint32_t x = 0; x < w * spp; ++x) {
        uint32_t zone = (x / 17 + y / 5) % 4;
        row[x] = zone == 0 ? 200 : zone == 1 ? (unsigned char)(x + y * 3) : zone == 2 ? (unsigned char)rnd() : (unsigned char)(y * 7);
    }
}

static void fillBilevel(unsigned char* row, uint32_t y, uint32_t w, int spp) {
    (void)spp;
    memset(row, 0, (w + 7) / 8);
    /* runs of many lengths: short ones, ones above 64, above 1728 and 2560 */
    uint32_t x = (y * 37) % 11, black = y & 1;
    while (x < w) {
        uint32_t len = (y % 5 == 3) ? 1 + rnd() % 3000 : 1 + rnd() % (y % 3 == 0 ? 9 : 200);
        if (black)
            for (uint32_t i = x; i < x + len && i < w; ++i) row[i / 8] |= (unsigned char)(0x80 >> (i % 8));
        x += len;
        black ^= 1;
    }
}

static void fillRgb(unsigned char* row, uint32_t y, uint32_t w, int spp) {
    for (uint32_t x = 0; x < w; ++x) {
        row[x * spp + 0] = (unsigned char)(x * 4 + y);
        row[x * spp + 1] = (unsigned char)(y * 5 + (x % 7) * 20);
        row[x * spp + 2] = (unsigned char)((x ^ y) * 3);
    }
}

static void write(const char* name, uint32_t w, uint32_t h, int bits, int spp, int photometric,
                  int compression, uint32_t rps, Fill fill, void (*extra)(TIFF*)) {
    char file[256];
    snprintf(file, sizeof file, "/tmp/codecs_%s.tif", name);
    TIFF* t = TIFFOpen(file, "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rps);
    if (extra) extra(t);
    tmsize_t rowSize = ((tmsize_t)w * bits * spp + 7) / 8;
    unsigned char* image = calloc(h, rowSize + 16);
    for (uint32_t y = 0; y < h; ++y) {
        unsigned char* row = image + (size_t)y * rowSize;
        fill(row, y, w, spp);
        if (TIFFWriteScanline(t, row, y, 0) < 0) exit(4);
    }
    /* libtiff cannot read back its own CCITT RLE strips: keep the source rows */
    if (compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTRLEW)
        save(name, "image", -1, image, (size_t)h * rowSize);
    free(image);
    TIFFClose(t);
    dump(name, file, compression == COMPRESSION_JPEG && photometric == PHOTOMETRIC_YCBCR);
}

static void g3Fill(TIFF* t) { TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, GROUP3OPT_FILLBITS); }
static void g3Reversed(TIFF* t) { TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_LSB2MSB); }
static void jpegYcc(TIFF* t) {
    TIFFSetField(t, TIFFTAG_JPEGQUALITY, 80);
    TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
}
static void jpegNoTables(TIFF* t) { TIFFSetField(t, TIFFTAG_JPEGTABLESMODE, 0); }
static void zipLevel(TIFF* t) { TIFFSetField(t, TIFFTAG_ZIPQUALITY, 9); }

/* ThunderScan has no encoder in libtiff: hand-made codes go in raw and libtiff
 * decodes them. Width 13 (odd): each row is 7 bytes. */
static void thunder(void) {
    const char* file = "/tmp/codecs_thunder.tif";
    static const unsigned char codes[] = {
        /* libtiff wants exactly 13 pixels per row, and it drops a run that
         * ends exactly at the row's end: every row here ends with a pixel code.
         * row 0: pixel 5, run 3, 2-bit deltas (+1, skip, -1), 3-bit deltas (+3, -2), run 4, pixel 15 */
        0xC5, 0x03, 0x40 | (1 << 4) | (2 << 2) | 3, 0x80 | (3 << 3) | 6, 0x04, 0xCF,
        /* row 1: pixels 0 and 2, run 9 (odd run at an even count), 2-bit deltas (+1, +1, skip) */
        0xC0, 0xC2, 0x09, 0x40 | (1 << 4) | (1 << 2) | 2,
        /* row 2: pixel 7, run 4 at an odd count, 3-bit (+2, skip), pixel 1, run 5, pixel 3 */
        0xC7, 0x04, 0x80 | (2 << 3) | 4, 0xC1, 0x05, 0xC3,
        /* row 3: deltas wrap around 0 and 15: pixel 0, -1 three times, pixel 15, +1 twice,
         * run 5, 2-bit (+1, skip, skip) */
        0xC0, 0x40 | (3 << 4) | (3 << 2) | 3, 0xCF, 0x80 | (1 << 3) | 1, 0x05, 0x40 | (1 << 4) | (2 << 2) | 2,
    };
    TIFF* t = TIFFOpen(file, "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 13);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 4);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 4);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_THUNDERSCAN);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
    TIFFWriteRawStrip(t, 0, (void*)codes, sizeof codes);
    TIFFClose(t);
    dump("thunder", file, 0);
}

/* Copies a bilevel TIFF into one with one row per strip in the given
 * compression (the usual fax layout: every strip ends with a row's last code). */
static void rowPerStrip(const char* from, const char* to, int compression) {
    TIFF* in = TIFFOpen(from, "r");
    TIFF* out = TIFFOpen(to, "w");
    if (!in || !out) exit(5);
    uint32_t w = 0, h = 0;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(in, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(in, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(out, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, 1);
    unsigned char* row = malloc((w + 7) / 8 + 16);
    for (uint32_t y = 0; y < h; ++y)
        if (TIFFReadScanline(in, row, y, 0) < 0 || TIFFWriteScanline(out, row, y, 0) < 0) exit(6);
    free(row);
    TIFFClose(in);
    TIFFClose(out);
}

int main(void) {
    write("packbits", 97, 13, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, 13, fillGray, NULL);
    write("lzw_rgb", 80, 30, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW, 30, fillRgb, NULL);
    write("lzw_noise", 200, 100, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW, 100, fillGray, NULL);
    write("zip_rgb", 80, 30, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, 16, fillRgb, zipLevel);
    write("g3", 2700, 24, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3, 24, fillBilevel, NULL);
    write("g3_fill", 301, 16, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3, 16, fillBilevel, g3Fill);
    write("g3_lsb", 301, 16, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX3, 16, fillBilevel, g3Reversed);
    write("mh", 301, 16, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTRLE, 16, fillBilevel, NULL);
    write("mhw", 301, 16, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTRLEW, 16, fillBilevel, NULL);
    write("jpeg_ycc", 64, 40, 8, 3, PHOTOMETRIC_YCBCR, COMPRESSION_JPEG, 16, fillRgb, jpegYcc);
    write("jpeg_gray", 50, 20, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_JPEG, 20, fillGray, jpegNoTables);
    thunder();
    rowPerStrip("fax_rows_g3.tif", "fax_rows_mh.tif", COMPRESSION_CCITTRLE);
    rowPerStrip("fax_rows_g3.tif", "fax_rows_mhw.tif", COMPRESSION_CCITTRLEW);
    return 0;
}
