// The Vantrel OLE DB Provider for PostgreSQL, over the system's libpq, built on the provider
// kit.
//
// Initialisation properties (DBPROPSET_DBINIT unless noted):
//   Data Source          the server: "host", "host:port", "[ipv6]:port" or a socket directory.
//                        Empty: libpq's default (PGHOST, then the local socket).
//   Initial Catalog      the database. Empty: libpq's default (PGDATABASE, then the user name).
//   User ID, Password    the role and its password (the password is masked by the Data Links
//                        dialog).
//   Mode                 DB_MODE_READ opens a read-only session: the server refuses every
//                        write (default_transaction_read_only) and DBPROP_DATASOURCEREADONLY
//                        is true. Any mode with DB_MODE_WRITE reads and writes. Default
//                        DB_MODE_READWRITE.
//   Connect Timeout      seconds to wait for the server when connecting. Default 15; 0 means
//                        the default too, so a dead server never hangs the window.
//   Extended Properties  further libpq connection keywords in libpq's own syntax, e.g.
//                        "sslmode=require application_name='bench run'". An unknown keyword is
//                        refused at Initialize with libpq's message.
//   Concurrency          (the kit's property set) "Locking", the default: a row changed
//                        through one rowset stays locked against changes through the session's
//                        other rowsets until that rowset releases it (DB_E_RESOURCELOCKED).
//                        "Optimistic": a change is refused with DB_E_CONCURRENCYVIOLATION when
//                        the row no longer holds the values the rowset fetched.
//
// Rows of updatable rowsets are found by their table's primary key (or by ctid without one).
// Inside a transaction each statement is atomic on its own: a refused statement leaves the
// transaction usable, as OLE DB consumers expect.
#pragma once

#include "kit/Backend.h"
#include "kit/KitProvider.h"

namespace vantrel::postgres {

// The provider as the kit registers it.
const kit::ProviderDescriptor& postgresProviderDescriptor();

} // namespace vantrel::postgres
