// Drives the fuzz target without libFuzzer (compilers other than clang): random inputs
// built from the grammar's tokens and random bytes, from a fixed seed so a failure
// repeats. Usage: ini_fuzz [RUNS [SEED]] | ini_fuzz FILE... (replays saved inputs).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

constexpr std::string_view kTokens[] = {"\r\n",
                                        "\r",
                                        "\n",
                                        "[",
                                        "]",
                                        "=",
                                        " ",
                                        "\t",
                                        "[config]",
                                        "[Config]",
                                        "[CONFIG]",
                                        "config",
                                        "key",
                                        "KEY",
                                        "k",
                                        "v",
                                        "a=1",
                                        "\r\n[Config]\r\n",
                                        "\r\n\r\n\r\n",
                                        "Z",
                                        "z",
                                        "@",
                                        "`",
                                        std::string_view("\0", 1),
                                        "\x7F",
                                        "\xC3\xA9",
                                        "\xEF\xBB\xBF",
                                        " [Config]\t",
                                        "\xFF"};

std::string randomPiece(std::mt19937& random) {
  std::string piece;
  const unsigned count = random() % 24;
  for (unsigned i = 0; i < count; ++i) {
    if (random() % 4 == 0) {
      piece += static_cast<char>(random() & 0xFF);
    } else {
      piece += kTokens[random() % std::size(kTokens)];
    }
  }
  return piece;
}

int run(const std::string& input) {
  return LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

bool isNumber(const char* text) {
  return *text && std::string(text).find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && !isNumber(argv[1])) {
    for (int i = 1; i < argc; ++i) {
      std::ifstream in(argv[i], std::ios::binary);
      run(std::string(std::istreambuf_iterator<char>(in), {}));
    }
    return 0;
  }
  const unsigned long runs = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const unsigned long seed = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1;
  std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
  for (unsigned long n = 0; n < runs; ++n) {
    // Short names and values, often one of the grammar's words; a longer file text.
    std::string input;
    for (int field = 0; field < 4; ++field) {
      input += random() % 2 ? std::string(kTokens[random() % std::size(kTokens)])
                            : randomPiece(random).substr(0, 8);
      input += '\xFF';
    }
    for (int part = 0; part < 4; ++part) input += randomPiece(random);
    run(input);
  }
  std::printf("ini_fuzz: %lu inputs, seed %lu, no failure\n", runs, seed);
  return 0;
}
