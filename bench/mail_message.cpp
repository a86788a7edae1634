// MailMessage parse throughput: the corpus of tests/data/mail (header scan,
// four header look-ups with encoded-word decoding, body decoding), and one
// large quoted-printable message.
//
//   (from the repository) build/bench/bench_mail_message
//   ORV_MAIL_CORPUS=DIR names another corpus.
//
// bytes_per_second is the figure to report (MB/s of message text).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mail/mail_message.h"

namespace {

std::vector<std::string> corpus() {
  std::vector<std::string> out;
  const char* dir = std::getenv("ORV_MAIL_CORPUS");
  std::filesystem::path path = dir ? dir : "tests/data/mail";  // run from the repository
  for (const auto& e : std::filesystem::directory_iterator(path)) {
    if (e.path().extension() != ".eml") continue;
    std::ifstream in(e.path(), std::ios::binary);
    out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return out;
}

size_t parseOne(const stringT& text) {
  MailMessage m(text);
  size_t n = m.text().length();
  for (const char* name : {"from", "reply-to", "subject", "content-transfer-encoding"})
    n += m.decodedHeader(name).length();
  return n;
}

void BM_ParseCorpus(benchmark::State& state) {
  std::vector<stringT> texts;
  size_t bytes = 0;
  for (auto& t : corpus()) {
    bytes += t.size();
    texts.emplace_back(t);
  }
  for (auto _ : state)
    for (const stringT& t : texts) benchmark::DoNotOptimize(parseOne(t));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ParseCorpus);

void BM_ParseLargeQuotedPrintable(benchmark::State& state) {
  std::string text = "From: a@example.com\r\nSubject: =?utf-8?Q?big_one?=\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
  while (text.size() < (4u << 20)) text += "Caf=E9 au lait, with a soft line break here=\r\n and a normal end.\r\n";
  stringT t(text);
  for (auto _ : state) benchmark::DoNotOptimize(parseOne(t));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseLargeQuotedPrintable);

}  // namespace

BENCHMARK_MAIN();
