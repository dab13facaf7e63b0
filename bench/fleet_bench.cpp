// The fleet against many simulated phones: `quilltool fleet --phones A-B update-program FILE --jobs N` as a
// whole process, its wall time against ceil(phones / jobs) times one phone's time in the same run (the
// median of the phones' own times in its report), with the peak memory of the largest process and the CPU
// used; then the same for each number of jobs of the scaling table.
//
//   fleet_bench [--phones=200] [--jobs=50] [--size=1048576] [--scaling=1,10,50,100] [--phones-for-one=20]
//
// Jobs 1 runs --phones-for-one phones only: every phone waits 2.5 s after its command for the phone's
// silence (the tool's own probe), so 200 phones one by one would take ten minutes to say what 20 say.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "sim/phone_fleet.h"
#include "tests/support/loopback.h"
#include "tests/support/test_env.h"

extern char** environ;

namespace {

using namespace quill;

struct RunResult {
  int code = -1;
  double wall = 0;
  double onePhone = 0;  // median of the phones' seconds
  double cpu = 0;       // user + system of the fleet and every child
  long peakKiB = 0;     // the largest single process
  int succeeded = 0;
};

std::string Arg(int argc, char** argv, const std::string& name, const std::string& fallback) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind(name + "=", 0) == 0) return a.substr(name.size() + 1);
  }
  return fallback;
}

std::vector<double> Numbers(const std::string& text, const std::string& key) {
  std::vector<double> values;
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
    values.push_back(std::atof(text.c_str() + at + key.size()));
  return values;
}

RunResult RunFleet(const std::string& tool, const std::string& dir, int phones, int jobs,
                   const std::string& file, int run) {
  const loopback::Block& b = loopback::kFleetBench;
  const std::string runDir = dir + "/run" + std::to_string(run);
  std::vector<std::string> args = {tool,
                                   "--store",
                                   dir + "/store",
                                   "fleet",
                                   "--phones",
                                   b.Dotted(0) + "-" + b.Dotted(phones - 1),
                                   "update-program",
                                   file,
                                   "--jobs",
                                   std::to_string(jobs),
                                   "--run-dir",
                                   runDir};
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  RunResult r;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  if (::posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ) != 0) return r;
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  r.peakKiB = usage.ru_maxrss;
  const std::string json = test::ReadFile(runDir + "/report.json");
  std::vector<double> seconds = Numbers(json, "\"seconds\": ");
  std::sort(seconds.begin(), seconds.end());
  if (!seconds.empty()) r.onePhone = seconds[seconds.size() / 2];
  for (size_t at = json.find("\"succeeded\""); at != std::string::npos;
       at = json.find("\"succeeded\"", at + 1))
    ++r.succeeded;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int phones = std::atoi(Arg(argc, argv, "--phones", "200").c_str());
  const int jobs = std::atoi(Arg(argc, argv, "--jobs", "50").c_str());
  const size_t size = static_cast<size_t>(std::atol(Arg(argc, argv, "--size", "1048576").c_str()));
  const int phonesForOne = std::atoi(Arg(argc, argv, "--phones-for-one", "20").c_str());
  std::vector<int> scaling;
  const std::string list = Arg(argc, argv, "--scaling", "1,10,50,100");
  for (size_t at = 0; at < list.size();) {
    const size_t comma = list.find(',', at);
    if (const int j = std::atoi(list.substr(at, comma - at).c_str()); j > 0) scaling.push_back(j);
    at = comma == std::string::npos ? list.size() : comma + 1;
  }
  if (phones < 1 || phones > loopback::kFleetBench.count || jobs < 1) {
    std::fprintf(stderr, "fleet_bench: --phones 1..%d, --jobs at least 1\n", loopback::kFleetBench.count);
    return 2;
  }

  test::TempDir dir;
  std::string program(size, '\0');
  for (size_t i = 0; i < size; ++i) program[i] = static_cast<char>((i * 131) >> 3);
  const std::string file = dir.File("program.bin");
  test::WriteFile(file, program);
  const std::string tool = QUILL_BENCH_TOOL;

  // The phones stop listening for 3 s after each update, longer than the tool's 2.5 s look for an answer;
  // the next run waits that out.
  constexpr int kEraseMs = 3000;
  sim::PhoneFleet fleet({loopback::kFleetBench.first.dotted, phones, 0, 1, sim::kLoaderPort, kEraseMs});
  if (!fleet.Start()) {
    std::fprintf(stderr, "fleet_bench: %s\n", fleet.Error().c_str());
    return 1;
  }
  auto settle = [&fleet] {
    std::this_thread::sleep_for(std::chrono::milliseconds(kEraseMs + 500));
    for (int i = 0; i < fleet.Size(); ++i) fleet.Phone(i).Log().Clear();
  };

  int run = 0;
  std::printf("fleet: %d phones, update-program of %zu bytes each, --jobs %d\n", phones, size, jobs);
  const RunResult main = RunFleet(tool, dir.Path(), phones, jobs, file, ++run);
  const double ideal = std::ceil(static_cast<double>(phones) / jobs) * main.onePhone;
  std::printf(
      "  wall %.1f s; one phone %.2f s (median, same run); ceil(%d/%d) x one phone = %.1f s; ratio %.2f "
      "(goal <= 1.25: %s)\n",
      main.wall, main.onePhone, phones, jobs, ideal, main.wall / ideal,
      main.wall / ideal <= 1.25 ? "met" : "MISSED");
  std::printf(
      "  succeeded %d of %d (exit %d); peak memory of the largest process %.1f MiB; CPU %.1f s (%.2f s "
      "per phone, %.2f cores)\n",
      main.succeeded, phones, main.code, static_cast<double>(main.peakKiB) / 1024.0, main.cpu,
      main.cpu / phones, main.cpu / main.wall);

  std::printf("\nscaling   jobs  phones   wall s  one phone s  ideal s  ratio  phones/s  CPU s\n");
  for (int j : scaling) {
    settle();
    const int n = j == 1 ? std::min(phones, phonesForOne) : phones;
    const RunResult r = RunFleet(tool, dir.Path(), n, j, file, ++run);
    const double best = std::ceil(static_cast<double>(n) / j) * r.onePhone;
    std::printf("        %6d  %6d  %7.1f  %11.2f  %7.1f  %5.2f  %8.1f  %5.1f%s\n", j, n, r.wall, r.onePhone,
                best, r.wall / best, n / r.wall, r.cpu, r.succeeded == n ? "" : "  (not all succeeded)");
    std::fflush(stdout);
  }
  fleet.Stop();
  return main.code == 0 ? 0 : 1;
}
