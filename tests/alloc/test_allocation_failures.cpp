// Memory running out: the run tells the user in its own message box and ends with the exit code that goes
// with it, instead of crashing or writing scripts from half-made buffers.
#include "conversion/registry/encoders.h"
#include "conversion/win_types.h"
#include "tests/unit/run_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <regex>
#include <string>

namespace {

// When armed, every nothrow array allocation of fail_from bytes or more (and less than fail_below) fails.
// The run's large buffers are the only such allocations; everything else uses throwing new.
std::size_t fail_from = 0;
std::size_t fail_below = SIZE_MAX;
// When armed, every plain allocation of this many bytes or more throws, as a full heap would.
std::size_t fail_plain_from = 0;

}  // namespace

// These replace the global allocation functions: malloc and free pair up here, whatever the compiler infers
// where it inlines them into this file's own new and delete expressions.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
  if (fail_plain_from != 0 && size >= fail_plain_from) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (fail_from != 0 && size >= fail_from && size < fail_below) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void* operator new[](std::size_t size) {
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

namespace resivex::testing {
namespace {

class allocation_failure_test : public run_fixture {
protected:
  void TearDown() override {
    fail_from = 0;
    fail_below = SIZE_MAX;
    fail_plain_from = 0;
    run_fixture::TearDown();
  }
};

TEST_F(allocation_failure_test, no_memory_for_the_work_buffers_ends_the_run_with_4_before_any_output) {
  fail_from = work_buffer_size;
  const run_result r = convert_text("Files added: 1\r\n----------------------------------\r\nC:\\x\r\n");
  fail_from = 0;
  EXPECT_EQ(r.how, run_result::outcome::ended);
  EXPECT_EQ(r.exit_code, 4);
  ASSERT_EQ(machine_.boxes.size(), 1u);
  EXPECT_EQ(machine_.boxes[0].text, "Error allocating 8192 byte buffer in sub-routine allocate_memory2");
  EXPECT_EQ(machine_.boxes[0].caption, "Quiting with alloc error...");
  EXPECT_TRUE(machine_.windows.empty());
  EXPECT_FALSE(exists(path("report.bat")));
}

TEST_F(allocation_failure_test, no_memory_to_grow_for_a_long_value_ends_the_run_with_16) {
  // Hex text is written through work buffers three times the size of the value buffer.
  const std::string old_bytes = "AB CD EF";
  machine_.set_value("HKLM\\Software\\K", "Blob", win::reg_binary, "now");
  // Only the growth fails: the keys array, allocated at the start, is larger still.
  fail_from = work_buffer_size + 1;
  fail_below = 3 * (work_buffer_size + 4) + 1;
  const run_result r = convert_text(
      "----------------------------------\r\nValues modified: 1\r\n----------------------------------\r\n"
      "HKLM\\Software\\K\\Blob: " + old_bytes + "\r\nHKLM\\Software\\K\\Blob: 00\r\n");
  fail_from = 0;
  EXPECT_EQ(r.how, run_result::outcome::ended);
  EXPECT_EQ(r.exit_code, 16);
  ASSERT_FALSE(machine_.boxes.empty());
  EXPECT_EQ(machine_.boxes.back().text, "realloc buffer regkey_data2 failed!");
  EXPECT_EQ(machine_.boxes.back().caption, "Quiting...");
  EXPECT_TRUE(machine_.windows.empty());
}

TEST_F(allocation_failure_test, no_memory_to_store_the_folders_ends_the_run_with_12) {
  // 70,000 folders: the table of their hashes outgrows 1 MiB (2^18 slots of 8 bytes), which no other part of
  // the run allocates at once.
  std::string body = "----------------------------------\r\nFolders added: 70000\r\n"
                     "----------------------------------\r\n";
  for (int i = 0; i < 70000; ++i) {
    body += "C:\\Program Data\\A vendor with a long name\\A product with a long name too\\Folder number " +
            std::to_string(100000 + i) + "\r\n";
  }
  const std::string report = write_file("report.txt", report_heading + body);
  body.clear();
  body.shrink_to_fit();
  fail_plain_from = std::size_t{1} << 20;
  const run_result r = convert(report);
  fail_plain_from = 0;
  EXPECT_EQ(r.how, run_result::outcome::ended);
  EXPECT_EQ(r.exit_code, 12);
  ASSERT_EQ(machine_.boxes.size(), 1u);
  EXPECT_TRUE(std::regex_match(machine_.boxes[0].text, std::regex("Error allocating [1-9][0-9]* bytes for folder buffer! \n")))
      << machine_.boxes[0].text;
  EXPECT_EQ(machine_.boxes[0].caption, "Quiting with alloc error...");
  EXPECT_TRUE(machine_.windows.empty());
}

TEST_F(allocation_failure_test, without_memory_for_the_output_blocks_each_line_goes_to_the_file_alone) {
  // Each output gathers its lines in a 64 KiB block; without one, every line is written on its own (the batch
  // lines composed in the run's work buffer instead of the block). The files must be the same byte for byte.
  machine_.add_folder("C:\\F");
  for (const char* p : {"C:\\a.txt", "C:\\100% sure.txt", "C:\\wow!.txt", "C:\\Jos\u00e9.txt", "C:\\x_nop.txt"}) {
    machine_.add_file(p);
  }
  machine_.set_value("HKLM\\Software\\K", "v", win::reg_sz, "now");
  machine_.set_value("HKLM\\Software\\K", "w", win::reg_sz, "new");
  std::string files = "Files added: 6\r\n----------------------------------\r\n";
  for (const char* p : {"C:\\a.txt", "C:\\100% sure.txt", "C:\\wow!.txt", "C:\\Jos\xE9.txt", "C:\\x_nop.txt",
                        "C:\\F\\inside.txt"}) {
    files += std::string(p) + "\r\n";
  }
  const std::string report = write_file(
      "report.txt", report_heading + "----------------------------------\r\nFolders added: 1\r\n"
                    "----------------------------------\r\nC:\\F\r\n\r\n----------------------------------\r\n" +
                    files + "\r\n----------------------------------\r\nValues added: 1\r\n"
                    "----------------------------------\r\nHKLM\\Software\\K\\v: \"now\"\r\n\r\n"
                    "----------------------------------\r\nValues modified: 1\r\n"
                    "----------------------------------\r\nHKLM\\Software\\K\\w: \"old\"\r\nHKLM\\Software\\K\\w: \"new\"\r\n"
                    "\r\n----------------------------------\r\nTotal changes: 4\r\n");
  const auto outputs = [&] {
    return read_file(path("report.bat")) + "|" + read_file(path("report.reg")) + "|" +
           read_file(path("report_mods.reg"));
  };
  ASSERT_EQ(convert(report).how, run_result::outcome::completed);
  const std::string with_blocks_bytes = outputs();
  const std::string with_blocks = read_file(path("report.bat")) + "|" + read_script(path("report.reg")) + "|" +
                                  read_script(path("report_mods.reg"));
  fail_from = 64 * 1024;
  fail_below = 64 * 1024 + 1;
  const run_result r = convert(report);
  fail_from = 0;
  fail_below = SIZE_MAX;
  EXPECT_EQ(r.how, run_result::outcome::completed);
  EXPECT_TRUE(machine_.boxes.empty());
  EXPECT_EQ(outputs(), with_blocks_bytes);
  // What the run must have written, so that equal outputs mean something.
  EXPECT_NE(with_blocks.find("DEL \"C:\\100%% sure.txt\""), std::string::npos) << with_blocks;
  EXPECT_NE(with_blocks.find("setlocal DisableDelayedExpansion\nDEL \"C:\\wow!.txt\""), std::string::npos);
  EXPECT_NE(with_blocks.find("DEL \"C:\\Jos\x82.txt\""), std::string::npos);
  EXPECT_NE(with_blocks.find("RMDIR /S %_nop% \"C:\\F\""), std::string::npos);
  EXPECT_EQ(with_blocks.find("inside"), std::string::npos);
  EXPECT_NE(with_blocks.find("\"v\"=-"), std::string::npos) << with_blocks;
  EXPECT_NE(with_blocks.find("\"w\"=\"old\""), std::string::npos) << with_blocks;
}

}  // namespace
}  // namespace resivex::testing
