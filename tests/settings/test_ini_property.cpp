// The writer's promise (tests/fuzz/ini_property.h) on the files a user is likely to have:
// every file below, every name and value below, in every combination. The fuzz target
// checks the same promise on random input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fuzz/ini_property.h"

using namespace std::string_literals;

namespace tovanik::test {
namespace {

TEST(IniProperty, StoringOneKeyChangesOnlyThatKey) {
  const std::vector<std::string> files = {
      "",
      "[Config]\r\ncommand_prompt=hide\r\nserver_port=80\r\nroot_directory=tovanik\r\n",
      "[Config]\ncommand_prompt=hide\nserver_port=8080\n",   // LF, a Linux editor
      "[Config]\rserver_port=8080\r",                        // CR only
      "[X]\r\nkey=1\n[config]\rkey=2\r\nnote=see [docs]\n",  // mixed, [ in a value
      "[Config]\r\nroot_directory=site[old]\r\nkey=x\r\n [Other]\r\nkey=y",
      "\t[Config]\r\nkey=hidden\r\n[Config]",  // no header, then one at the end
      "[Config]\r\nkey=a\r\nnote=x\t",         // TAB ending the last value
      "key=before\r\n[Config]\r\n\r\n\r\n\r\nkey=x\r\n[Config]\r\nother=2\r\n\r\n",
      "[Config]\r\nk[1]=1\r\nKEY=caps\r\n[other]\r\nkey=o\r\n\0"s,
      "\xEF\xBB\xBF[Config]\r\nkey=notepad\r\n",  // Notepad's byte-order mark
      "\xEF\xBB\xBF",                             // ...in a file with nothing else
      "\xEF\xBB\xBF\r\n[Config] \r\nkey=x\r\n\t[Other]\t\r\nkey=y",
  };
  const std::vector<IniProbe> names = {{"Config", "key"},  {"config", "KEY"},  {"Config", "other"},
                                       {"Config", "note"}, {"Config", "k[1]"}, {"Other", "key"},
                                       {"X", "key"},       {"New", "key"},     {"Config", ""}};
  const std::vector<std::string> values = {"", "v", "a[b]", " x ", "tab\t", "=", "\xC3\xA9"};
  for (const std::string& file : files) {
    for (const IniProbe& name : names) {
      for (const std::string& value : values) {
        const char* broken = iniStoreBreaks(file, name.section, name.key, value, names);
        EXPECT_EQ(broken, nullptr) << broken << "\nfile: " << testing::PrintToString(file) << "\n["
                                   << name.section << "] " << name.key << "=" << value;
      }
    }
  }
}

}  // namespace
}  // namespace tovanik::test
