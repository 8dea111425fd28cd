// The contact book both benchmarks time: 5,000 friends in 25 groups under each root, each
// friend with every field and the online service, as a contact file's text.
#pragma once

#include <string>

namespace testkit {

std::wstring BenchmarkBook();

}  // namespace testkit
