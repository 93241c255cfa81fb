// What help() and the type stubs show for PostgresImmutableConnection's own operations.
#pragma once

#include "connections/core/method_docs.hpp"

namespace nelvor::ledger::docs {

using core::MethodDoc;

inline constexpr const char* class_doc =
    "The historical store: every version of an object is a row of its class version's table\n"
    "(partition_key: the object id, range_key: the object version), chained through the\n"
    "metadata table, one row per version. Rows are only ever inserted.\n\n"
    "Typical use: connect(), prepare_connection(), then within begin() ... commit(): put()\n"
    "or bulk_put() the object rows and their metadata rows; query() and count() read them\n"
    "back, each record carrying its metadata as _metadata; revert() deletes what the\n"
    "innermost transaction level wrote.";

inline constexpr MethodDoc query{
    core::docs::query_signature,
    "Read object versions of a class.\n\n"
    "Args:\n"
    "    address: the class (class_name) and its class versions to read: the latest\n"
    "        (Versions.LATEST, the default), all (Versions.ALL) or one. Object id and\n"
    "        version are filtered with conditions\n"
    "        (Q(_address__object_id=...), Q(_address__object_version=Versions.LATEST)).\n"
    "    query_specifier: only (the fields to select) and distinct (fields selected DISTINCT).\n"
    "    conditions: a Q tree (&, |, ~) of field lookups: field=value, or field__LOOKUP with\n"
    "        LOOKUP one of neq, gt, gte, lt, lte, in, contains, icontains, startswith,\n"
    "        istartswith, endswith, iendswith, isnull; a field name with more __ reaches\n"
    "        into a json field (body__place__city__gt=...).\n"
    "    pagination: a NumberPaginator (limit, offset) over the merged, ordered result.\n"
    "    order_by: OrderBy items (desc=True for descending), over the whole result.\n\n"
    "Returns:\n"
    "    One dict per object version, its columns by field name (partition_key, range_key\n"
    "    and the class's fields) and _metadata: that version's metadata row with its\n"
    "    next_version (None for the latest version).\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    NelvorConnectionError: a statement failed (driver error as __cause__), or a\n"
    "        CursorPaginator was given ('Cursor pagination is not supported')."};

inline constexpr MethodDoc count{
    core::docs::count_signature,
    "Count the object versions query() would return for the same address and conditions.\n\n"
    "Returns:\n"
    "    The number of rows, summed over the class versions.\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    NelvorConnectionError: a statement failed (driver error as __cause__)."};

inline constexpr MethodDoc put{
    "def put(self, address: nelvor_utils.models.data_models.address.Address, "
    "data: dict[str, typing.Any]) -> None",
    "Insert one row: an object version, or a metadata row.\n\n"
    "Args:\n"
    "    address: the class, class version, object id and object version of the row; for a\n"
    "        metadata row Address(class_name='metadata', object_id=..., object_version=...).\n"
    "        The object version is stored as it is: an address left at its default\n"
    "        (Versions.LATEST) stores the text 'latest', so give the real version.\n"
    "    data: the fields; those the table has no column for are left out. A metadata row\n"
    "        holds address (class_name, class_version, object_id, object_version of the\n"
    "        version it describes), prior_version and is_deleted. Not modified.\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    IndexError: revert is enabled and no transaction level is open (nothing written).\n"
    "    NelvorConnectionError: the INSERT failed, e.g. the version exists already (driver\n"
    "        error as __cause__)."};

inline constexpr MethodDoc bulk_put{
    "def bulk_put(self, data: list[tuple[nelvor_utils.models.data_models.address.Address, "
    "dict[str, typing.Any]]]) -> None",
    "Insert many rows of one table in a single INSERT.\n\n"
    "Args:\n"
    "    data: (address, record) pairs as for put(); all rows go to the table of the first\n"
    "        address, fields missing from a record are written as NULL. An empty list does\n"
    "        nothing.\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    IndexError: revert is enabled and no transaction level is open (nothing written).\n"
    "    NelvorConnectionError: the INSERT failed (no row is written; driver error as\n"
    "        __cause__)."};

inline constexpr MethodDoc revert{
    "def revert(self) -> None",
    "Undo the writes of the innermost transaction level by deleting the rows it wrote, newest\n"
    "first, and close that level: do not commit() or rollback() it afterwards. No\n"
    "transaction statement is sent: after the outermost level the database transaction\n"
    "stays open; end it with execute('COMMIT') or execute('ROLLBACK').\n\n"
    "Raises:\n"
    "    NelvorConnectionError: 'Revert is not supported' (built with is_revert_supported=\n"
    "        False, or a revert failed before), or a DELETE failed.\n"
    "    IndexError: no transaction level is open."};

}  // namespace nelvor::ledger::docs
