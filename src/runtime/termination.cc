#include "runtime/termination.h"

#include <execinfo.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "runtime/io_result.h"

// Bounds of the executable's code, from the linker: code locations in the
// report are offsets from the load address, so `addr2line -e vurel` can name
// the place.
extern "C" char __executable_start[];
extern "C" char etext[];

namespace {

ExitProcedure g_exit_procedure = nullptr;
std::uint16_t g_exit_status = 0;
std::uint16_t g_error_number = 0;
const void* g_error_location = nullptr;
constexpr int kMaxChainLines = 9;

bool in_program_code(const void* address) {
  auto at = reinterpret_cast<std::uintptr_t>(address);
  return at >= reinterpret_cast<std::uintptr_t>(__executable_start) &&
         at < reinterpret_cast<std::uintptr_t>(etext);
}

std::string hex_location(const void* address) {
  auto offset = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address) -
                                           reinterpret_cast<std::uintptr_t>(__executable_start));
  std::string digits(8, '0');
  for (int i = 7; i >= 0; --i) {
    digits[static_cast<std::size_t>(i)] = "0123456789ABCDEF"[offset & 0xF];
    offset >>= 4;
  }
  return digits;
}

// The report goes straight to descriptor 1, after the console has restored
// the terminal; a failure to write it is ignored.
void write_report_line(const std::string& line) {
  std::string text = line + "\n";
  if (::write(1, text.data(), text.size()) < 0) return;
}

// "Run time error  N at 0xLLLLLLLL", then one line per enclosing call level:
// the caller of the routine that raised the error first, out to main.
void write_error_report(std::uint16_t number, const void* location) {
  write_report_line("Run time error  " + std::to_string(number) + " at 0x" +
                    hex_location(location));
  void* frames[64];
  int count = ::backtrace(frames, 64);
  int first = 0;
  while (first < count && frames[first] != location) ++first;
  int lines = 0;
  for (int i = first + 1; i < count && lines < kMaxChainLines; ++i, ++lines) {
    if (!in_program_code(frames[i])) break;
    write_report_line("  0x" + hex_location(frames[i]));
  }
}

[[noreturn]] void terminate_program() {
  while (g_exit_procedure != nullptr) {
    take_io_result();
    ExitProcedure procedure = g_exit_procedure;
    g_exit_procedure = nullptr;
    procedure();
  }
  if (g_error_location != nullptr) write_error_report(g_error_number, g_error_location);
  ::_exit(g_exit_status);
}

const void* fault_address(void* context) {
  auto* uc = static_cast<ucontext_t*>(context);
#if defined(__x86_64__)
  return reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
  return reinterpret_cast<const void*>(uc->uc_mcontext.pc);
#else
  (void)uc;
  return __builtin_return_address(0);
#endif
}

void on_fault(int signal_number, siginfo_t*, void* context) {
  run_time_error(signal_number == SIGFPE ? 200 : 216, fault_address(context));
}

}  // namespace

ExitProcedure install_exit_procedure(ExitProcedure procedure) {
  ExitProcedure previous = g_exit_procedure;
  g_exit_procedure = procedure;
  return previous;
}

void halt(std::uint8_t status) {
  g_exit_status = status;
  terminate_program();
}

void normal_end() { terminate_program(); }

void run_time_error(std::uint16_t number, const void* location) {
  g_error_number = number;
  g_exit_status = number;
  g_error_location = location != nullptr ? location : reinterpret_cast<const void*>(&halt);
  terminate_program();
}

__attribute__((noinline)) void io_check() {
  if (!io_failed()) return;
  run_time_error(take_io_result(), __builtin_return_address(0));
}

void install_fault_handlers() {
  static char alternate_stack[64 * 1024];
  stack_t stack{};
  stack.ss_sp = alternate_stack;
  stack.ss_size = sizeof alternate_stack;
  ::sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = on_fault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGFPE, &action, nullptr);
  ::sigaction(SIGSEGV, &action, nullptr);
}
