#include "exifreport/csv_writer.h"

#include "exif/extra_rows.h"
#include "exif/metadata_list.h"
#include "exif/report.h"
#include "exif/tag_catalogue.h"

#include <algorithm>

namespace exifreport {
namespace {

void AppendCell(std::string& out, std::string_view text) {
    bool quoted = false, valid = true;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            quoted = quoted || c == ',' || c == '"' || c == '\r' || c == '\n';
            ++i;
        } else if (const std::size_t length = exif::WellFormedLength(text.substr(i)); length != 0) {
            i += length;
        } else {
            valid = false;
            ++i;
        }
    }
    std::string repaired;
    if (!valid) text = repaired = exif::ValidUtf8(text);
    if (!quoted) {
        out += text;
        return;
    }
    out += '"';
    for (std::size_t quote; (quote = text.find('"')) != std::string_view::npos;
         text.remove_prefix(quote + 1)) {
        out.append(text.substr(0, quote + 1));
        out += '"';
    }
    out += text;
    out += '"';
}

}  // namespace

CsvWriter::CsvWriter() : cells_(exif::Catalogue().size() + exif::ExtraRows().size()) {}

std::string CsvWriter::Header() const {
    std::string out = "\xEF\xBB\xBF";
    out += "文件,路径";
    for (const exif::CatalogueEntry& entry : exif::Catalogue()) {
        out += ',';
        AppendCell(out, entry.label);
    }
    for (std::string_view label : exif::ExtraRows()) {
        out += ',';
        AppendCell(out, label);
    }
    out += "\r\n";
    return out;
}

void CsvWriter::AppendRow(std::string& out, const exif::MetadataList& list) {
    std::fill(cells_.begin(), cells_.end(), nullptr);
    const exif::CatalogueEntry* first = exif::Catalogue().data();
    const auto& entries = list.Entries();
    for (std::size_t i = 0; i < list.EntryCount() && i < entries.size(); ++i) {
        std::size_t column;
        if (const exif::CatalogueEntry* row = exif::FindTag(entries[i].tag)) {
            column = static_cast<std::size_t>(row - first);
        } else if (entries[i].tag >= exif::kExtraRowTag &&
                   entries[i].tag - exif::kExtraRowTag < exif::ExtraRows().size()) {
            column = exif::Catalogue().size() + (entries[i].tag - exif::kExtraRowTag);
        } else {
            continue;
        }
        const std::string*& cell = cells_[column];
        if (cell == nullptr) cell = &entries[i].value;
    }
    AppendCell(out, list.PhotoName());
    out += ',';
    AppendCell(out, list.PhotoFile());
    for (const std::string* cell : cells_) {
        out += ',';
        if (cell != nullptr) AppendCell(out, *cell);
    }
    out += "\r\n";
}

}  // namespace exifreport
