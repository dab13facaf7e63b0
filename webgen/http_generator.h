// Generating the web page headers: the options of section "GenHttp" and the run over a list of source
// pages that writes the common, page and replace-options files (and the temporary .htm files).
#pragma once

#include <string>
#include <vector>

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
void SaveGenHttpOptions(const GenHttpOptions& options);

// Converts the pages in order, page numbers from 0, and appends each to the three output files. Stops at
// the first page that cannot be read or converted (or at an output file that cannot be written); the
// pages before it stay in the files. Every problem is shown through ui. True when everything was written.
bool GenerateHttpFiles(const GenHttpOptions& options, const std::vector<std::string>& pages, Ui& ui);

}  // namespace quill::webgen
