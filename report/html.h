// The run as one web page for a person: every drive with its verdict, identity, headline figures
// and attributes. Self-contained (styles inline, no script, nothing fetched: its content policy
// forbids both), UTF-8, readable in a narrow window and printable. Every text that comes from a
// drive or the definitions file is escaped.
#pragma once

#include <string>
#include <string_view>

namespace trelmoss {

class DriveTable;

struct PageContext {
  std::string hostName;  // in the system's ANSI code page, as the identity texts
  double runTime = 0;    // when the run started, in seconds since the Unix epoch
};

std::string RenderHtml(const DriveTable& table, const PageContext& context);

// A text as the report holds it (windows-1251, control bytes as '?'), in UTF-8 with the
// characters that mean something to HTML written as references: safe in text and in quoted
// attribute values alike.
std::string HtmlText(std::string_view windows1251);

}  // namespace trelmoss
