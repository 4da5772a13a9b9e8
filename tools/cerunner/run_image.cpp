#include "tools/cerunner/run_image.h"

#include "tools/cerunner/machine.h"
#include "tools/cerunner/pe_image.h"
#include "tools/cerunner/simulated_libraries.h"

namespace cerunner {

RunReport RunImage(const std::vector<uint8_t>& file, const PhoneSetup& setup) {
  RunReport refused;
  refused.outcome = RunReport::Outcome::kRefused;
  refused.manner_mode = setup.manner_mode;
  ImageLoad load = LoadImage(file, setup.os_version);
  if (!load.image) {
    refused.message = load.refusal;
    return refused;
  }
  const std::optional<std::string> unbound =
      BindImports(*load.image, [&setup](const ImageImport& import) {
        return SimulatedLibraries::Resolve(import, setup.thumb_libraries);
      });
  if (unbound) {
    refused.message = *unbound;
    return refused;
  }
  Machine machine(*load.image, setup);
  return machine.Run();
}

std::string SummaryLine(const RunReport& report) {
  const bool exited = report.outcome == RunReport::Outcome::kExited;
  return "result mode=" + std::to_string(report.manner_mode) +
         " status=" + (exited ? std::to_string(report.exit_status) : "none") +
         " instructions=" + std::to_string(report.instructions) +
         " stack_high_water=" + std::to_string(report.stack_high_water) +
         " time_ms=" + std::to_string(report.virtual_ms) +
         " heap_in_use=" + std::to_string(report.heap_in_use);
}

}  // namespace cerunner
