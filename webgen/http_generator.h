// Generating the web page headers: the options of section "GenHttp" and the run over a list of source
// pages that writes the common, page and replace-options files (and the temporary .htm files).
#pragma once

#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "platform/ui.h"

namespace quill::webgen {

constexpr const char* kGenHttpSection = "GenHttp";

struct GenHttpOptions {
  bool replace = true;         // replace known form fields by their templates
  bool chinese = false;        // Chinese labels in the templates, every page byte in hexadecimal
  bool multipart = false;      // remembered only; the output does not depend on it
  bool writeTempHtml = false;  // also write each converted page as a temporary .htm file
  int pageNum = 0;             // how many source pages the dialog asks for
  std::string msgFile;         // page file
  std::string infoFile;        // replace-options file
  std::string commonFile;      // common file
  std::string tempHtmlFile;    // pattern of the temporary .htm files
};

// Missing values read as the defaults above.
GenHttpOptions LoadGenHttpOptions();
// All nine values in one save; on failure the store keeps none of them.
StoreResult SaveGenHttpOptions(const GenHttpOptions& options);

// The largest source page read: far more than any page the phone's page memory holds.
constexpr size_t kMaxPageFile = size_t{16} << 20;

// Converts the pages in order, page numbers from 0, into the three output files (and the temporary
// pages). Stops at the first page that cannot be read or converted, or at an output file that cannot be
// written; a temporary page that cannot be written is reported and the pages go on. Every problem is shown
// through ui. The outputs replace their old files together, only when everything was written (true);
// otherwise every file is as it was.
bool GenerateHttpFiles(const GenHttpOptions& options, const std::vector<std::string>& pages, Ui& ui);

}  // namespace quill::webgen
