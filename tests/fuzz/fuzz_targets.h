// What the fuzzers feed arbitrary bytes to. Each target must come back from
// any input with a result or a clean refusal: no crash, no read or write
// outside its buffers, no undefined behaviour. The fuzzers (libFuzzer) call
// them; the regression test runs every kept input through them in every
// build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zx::fuzz {

// The configuration file reader: the bytes as a whole file, looked up for
// every key the program reads, with and without a section, and by number.
void ConfigReader(const uint8_t* data, std::size_t size);

// The decipherment of a configuration value: the bytes as hexadecimal text
// (up to a zero byte), into an output buffer whose size the first byte picks.
void ConfigCipher(const uint8_t* data, std::size_t size);

// The statement dialect: the bytes as an Oracle statement text, split and
// rewritten by the session (INTO clause, placeholders) and translated for
// both backends.
void StatementDialect(const uint8_t* data, std::size_t size);

// The DNL file layouts of zeprink-show: the bytes as a file, recognised,
// decoded in every layout, shown in every format, one badge's records
// picked, and compared with the same bytes decoded in another layout.
void DnlFile(const uint8_t* data, std::size_t size);

// The job file reader of zeprink-site: the bytes as a job file. A file it
// takes holds jobs of four non-empty parameters, a known DNL function and a
// terminal name that fits, in the order of their lines.
void SiteJobFile(const uint8_t* data, std::size_t size);

}  // namespace zx::fuzz
