// The PDF file itself: fixed objects, the line writer, the deflated content stream, cross-references and trailer.
#include <zlib.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/sys/confine.h"
#include "platform/sys/fault_plan.h"
#include "platform/sys/files.h"
#include "platform/sys/format.h"
#include "platform/ui/userint.h"
#include "reports/pdf_chart.h"

std::int32_t obj_offset[7] = {};

void schartDrawFrame(SChart* chart);   // chart_frame.cpp
void schartComputeLayout(SChart* chart);  // chart_frame.cpp

namespace reports {

std::string pdf_number(double value, int decimals)
{
    if (!std::isfinite(value)) value = 0.0;
    if (decimals < 0) decimals = 0;
    if (decimals > 17) decimals = 17;
    std::array<char, 400> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed,
                                   decimals);
    if (ec != std::errc()) return "0";
    return std::string(buffer.data(), end);
}

}  // namespace reports

namespace {

void fail(SChart* chart, const std::string& why)
{
    if (chart->failure.empty()) chart->failure = why;
}

std::string describe(const char* what, int error)
{
    return vsys::strprintf("%s: %s", what, error ? std::strerror(error) : "failed");
}

bool put(SChart* chart, std::FILE* file, const void* data, std::size_t size, const char* what)
{
    if (!chart->failure.empty()) return false;
    if (vsys::file_fault(vsys::FileOp::write, file)) {
        fail(chart, describe(what, ENOSPC));
        return false;
    }
    errno = 0;
    if (size && std::fwrite(data, 1, size, file) != size) {
        fail(chart, describe(what, errno ? errno : EIO));
        return false;
    }
    return true;
}

bool put_text(SChart* chart, std::FILE* file, const std::string& text, const char* what)
{
    return put(chart, file, text.data(), text.size(), what);
}

bool flush(SChart* chart, std::FILE* file, const char* what)
{
    if (!chart->failure.empty()) return false;
    if (vsys::file_fault(vsys::FileOp::flush, file)) {
        fail(chart, describe(what, EIO));
        return false;
    }
    errno = 0;
    if (std::fflush(file) != 0) {
        fail(chart, describe(what, errno ? errno : EIO));
        return false;
    }
    return true;
}

// The position of the file, as a 32-bit offset for the cross-reference table.
bool tell(SChart* chart, std::FILE* file, std::int32_t* offset)
{
    if (!chart->failure.empty()) return false;
    long at = -1;
    if (!vsys::file_fault(vsys::FileOp::seek, file)) at = std::ftell(file);
    if (at < 0 || at > 9999999999L || at > INT32_MAX) {
        fail(chart, describe("finding the position in the report", at < 0 ? EIO : EFBIG));
        return false;
    }
    *offset = static_cast<std::int32_t>(at);
    return true;
}

bool rewind_file(SChart* chart, std::FILE* file, const char* what)
{
    if (!chart->failure.empty()) return false;
    if (vsys::file_fault(vsys::FileOp::seek, file) || std::fseek(file, 0, SEEK_SET) != 0) {
        fail(chart, describe(what, EIO));
        return false;
    }
    return true;
}

// Closes with the result checked: a close is where buffered data meets the disk.
bool close_checked(SChart* chart, vsys::FilePtr& file, const char* what)
{
    if (!file) return true;
    bool ok = flush(chart, file.get(), what);
    std::FILE* raw = file.release();
    if (std::fclose(raw) != 0 && ok) {
        fail(chart, describe(what, errno ? errno : EIO));
        ok = false;
    }
    return ok && chart->failure.empty();
}

void write_lines(SChart* chart, std::initializer_list<const char*> lines)
{
    for (const char* line : lines) bwrite(line, chart);
}

// A leftover temporary or partial report that cannot be removed changes nothing about what is reported.
void remove_quietly(const std::string& path) { (void)vsys::delete_file_if_present(path); }

std::string small_path(const SChart* chart) { return vsys::path_join(chart->tempDir, "small.bin"); }

// Adds what the stream produced to "small.bin"; false on any failure.
bool drain(SChart* chart, z_stream& stream, int flushMode, std::FILE* small, unsigned* length)
{
    std::array<unsigned char, 2000> out{};
    for (;;) {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        int result = vsys::file_fault(vsys::FileOp::compress, small) ? Z_STREAM_ERROR : deflate(&stream, flushMode);
        const std::size_t produced = out.size() - stream.avail_out;
        if (result == Z_BUF_ERROR && produced == 0) return true;  // nothing was left to flush
        if (result != Z_OK && result != Z_STREAM_END) {
            fail(chart, vsys::strprintf("compressing the page: zlib error %d", result));
            return false;
        }
        if (produced && !put(chart, small, out.data(), produced, "writing the compressed page")) return false;
        *length += static_cast<unsigned>(produced);
        if (flushMode == Z_FINISH) {
            if (result == Z_STREAM_END) return true;
        } else if (stream.avail_out != 0) {
            return true;
        }
    }
}

struct Deflater {
    z_stream stream{};
    bool ready = false;
    ~Deflater()
    {
        if (ready) deflateEnd(&stream);
    }
};

}  // namespace

const double MinimumPdfDelta = 0.1;
const double SmallPdfNumber = 1e-20;

int bwrite(const char* text, SChart* chart)
{
    std::FILE* file = chart->contentFile ? chart->contentFile.get() : chart->pdfFile.get();
    if (!file) return 0;
    put(chart, file, text, std::strlen(text), "writing the report");
    put(chart, file, "\r\n", 2, "writing the report");
    return 2;
}

int schartInitialize(SChart* chart, const char* pdfPath, const char* tempDir)
{
    chart->failure.clear();
    vsys::FilePtr pdf = chart->typedPath ? vsys::open_confined(pdfPath, "wb+") : vsys::open_file(pdfPath, "wb+");
    if (!pdf) {
        MessagePopup("PDF Error", vsys::strprintf("Could not open %s.  Please make sure all other applications close "
                                                  "this file before attempting to write to this file.",
                                                  pdfPath)
                                      .c_str());
        return 1;
    }
    chart->pdfPath = pdfPath;
    chart->tempDir = tempDir;
    chart->pdfFile = std::move(pdf);
    schartComputeLayout(chart);

    std::FILE* f = chart->pdfFile.get();
    static const unsigned char marker[4] = {0xE2, 0xE3, 0xCF, 0xD3};
    put_text(chart, f, "%PDF-1.6 \r\n%", "writing the report");
    put(chart, f, marker, sizeof marker, "writing the report");
    put_text(chart, f, "\r\n", "writing the report");
    tell(chart, f, &obj_offset[0]);
    write_lines(chart, {"1 0 obj", "<< /Type /Catalog", "/Outlines 2 0 R", "/Pages 3 0 R", ">>", "endobj", ""});
    tell(chart, f, &obj_offset[1]);
    write_lines(chart, {"2 0 obj", "<< /Type /Outlines", "/Count 0", ">>", "endobj", ""});
    tell(chart, f, &obj_offset[2]);
    write_lines(chart, {"3 0 obj", "<< /Type /Pages", "/Kids [4 0 R]", "/Count 1", ">>", "endobj", ""});
    tell(chart, f, &obj_offset[3]);
    const std::string box = "/MediaBox [0 0 " + reports::pdf_number(792.0, 0) + " " + reports::pdf_number(612.0, 0) + "]";
    write_lines(chart, {"4 0 obj", "<< /Type /Page", "/Parent 3 0 R", box.c_str(), "/Contents 5 0 R",
                        "/Resources << /ProcSet 6 0 R", "/Font << /F1 7 0 R >>", ">>", ">>", "endobj", ""});

    const std::string contentPath = vsys::path_join(tempDir, "ztemp.bin");
    chart->contentFile = vsys::open_file(contentPath, "wb+");
    if (!chart->contentFile) fail(chart, describe(("creating " + contentPath).c_str(), errno));
    if (!chart->failure.empty()) {
        // A report that cannot be written is abandoned at once, never left half made.
        const std::string why = chart->failure;
        chart->contentFile.reset();
        chart->pdfFile.reset();
        remove_quietly(chart->pdfPath);
        MessagePopup("PDF Error", vsys::strprintf("Could not write %s (%s).", pdfPath, why.c_str()).c_str());
        return 1;
    }
    schartDrawFrame(chart);
    return 0;
}

void CompressContent(SChart* chart)
{
    if (!chart->contentFile) return;
    std::FILE* pdf = chart->pdfFile.get();
    const std::string smallName = small_path(chart);
    vsys::FilePtr small = vsys::open_file(smallName, "wb+");
    if (!small) {
        fail(chart, describe("creating small.bin", errno));
        return;
    }
    Deflater z;
    if (deflateInit(&z.stream, Z_DEFAULT_COMPRESSION) != Z_OK) {
        fail(chart, "compressing the page: zlib could not start");
        return;
    }
    z.ready = true;
    unsigned length = 0;
    std::FILE* content = chart->contentFile.get();
    if (flush(chart, content, "writing the page content") && rewind_file(chart, content, "reading the page content")) {
        std::array<unsigned char, 2000> in{};
        for (;;) {
            const std::size_t got = std::fread(in.data(), 1, in.size(), content);
            if (got == 0) {
                if (std::ferror(content)) fail(chart, describe("reading the page content", EIO));
                break;
            }
            z.stream.next_in = in.data();
            z.stream.avail_in = static_cast<uInt>(got);
            if (!drain(chart, z.stream, Z_SYNC_FLUSH, small.get(), &length)) break;
        }
        if (chart->failure.empty()) drain(chart, z.stream, Z_FINISH, small.get(), &length);
    }
    close_checked(chart, chart->contentFile, "writing the page content");
    if (!chart->failure.empty()) {
        small.reset();
        remove_quietly(smallName);
        return;
    }
    tell(chart, pdf, &obj_offset[4]);
    put_text(chart, pdf,
             "5 0 obj\r<<\r/Filter /FlateDecode /Length \r" + std::to_string(length) + ">>\rstream\r\n",
             "writing the report");
    close_checked(chart, small, "writing small.bin");
    small = vsys::open_file(smallName, "rb");
    if (!small) fail(chart, describe("reading small.bin", errno));
    if (chart->failure.empty() && rewind_file(chart, small.get(), "reading small.bin")) {
        std::array<unsigned char, 2000> buffer{};
        std::size_t copied = 0;
        for (;;) {
            const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), small.get());
            if (got == 0) break;
            if (!put(chart, pdf, buffer.data(), got, "writing the report")) break;
            copied += got;
        }
        if (copied != length) fail(chart, describe("reading small.bin", EIO));
    }
    put_text(chart, pdf, "\rendstream\r", "writing the report");
    put_text(chart, pdf, "endobj\r\n", "writing the report");
    put_text(chart, pdf, "\r\n", "writing the report");
    small.reset();
    remove_quietly(smallName);
}

int schartFinish(SChart* chart)
{
    if (!chart->pdfFile) return 1;
    std::FILE* pdf = chart->pdfFile.get();
    if (!chart->contentFile) fail(chart, "the page content was not written");
    CompressContent(chart);
    tell(chart, pdf, &obj_offset[5]);
    write_lines(chart, {"6 0 obj", "[/PDF /Text]", "endobj", ""});
    tell(chart, pdf, &obj_offset[6]);
    write_lines(chart, {"7 0 obj", "<< /Type /Font", "/Subtype /Type1", "/Name /F1", "/BaseFont /Courier",
                        "/Encoding /MacRomanEncoding", ">>", "endobj", ""});
    std::int32_t xref = 0;
    tell(chart, pdf, &xref);
    write_lines(chart, {"xref", "0 8"});
    put_text(chart, pdf, vsys::strprintf("%010d 65535 f\r\n", 0), "writing the report");
    for (std::int32_t offset : obj_offset)
        put_text(chart, pdf, vsys::strprintf("%010ld 00000 n\r\n", static_cast<long>(offset)), "writing the report");
    write_lines(chart, {"trailer", "<< /Size 8", "/Root 1 0 R", ">>", "startxref"});
    put_text(chart, pdf, vsys::strprintf("%ld\r\n", static_cast<long>(xref)), "writing the report");
    bwrite("%%EOF", chart);
    close_checked(chart, chart->pdfFile, "writing the report");
    if (chart->failure.empty()) return 0;
    chart->contentFile.reset();
    remove_quietly(small_path(chart));
    remove_quietly(chart->pdfPath);
    MessagePopup("PDF Error",
                 vsys::strprintf("Could not write %s (%s).", chart->pdfPath.c_str(), chart->failure.c_str()).c_str());
    return 1;
}
