// Natively there is no window: every list suite runs on the model.
#include "tests/common/list_host.h"

std::unique_ptr<ListHost> MakeListHost(ListHostKind, DWORD style) { return MakeModelHost(style); }

std::vector<ListHostKind> ListHostKinds() { return {ListHostKind::Model}; }
