// The run as Prometheus metrics, in the text exposition format (version 0.0.4) that textfile
// collectors read (node_exporter's, windows_exporter's): UTF-8, LF line ends, one HELP and one
// TYPE line a family, label values escaped. The label names follow the smartctl exporter's, so
// that dashboards made for it need only another prefix.
#pragma once

#include <string>

namespace trelmoss {

class DriveTable;

// `runTime` is when the run started, in seconds since the Unix epoch.
std::string RenderMetrics(const DriveTable& table, double runTime);

}  // namespace trelmoss
