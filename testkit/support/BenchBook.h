// The contact book both benchmarks time: 25 groups under each root, the friends spread
// evenly over them, each friend with every field and the online service, as a contact
// file's text.
#pragma once

#include <string>

namespace testkit {

std::wstring BenchmarkBook(int friends = 5000);

}  // namespace testkit
