// What help() and the type stubs show for PostgresStateConnection's own operations.
#pragma once

#include "connections/core/method_docs.hpp"

namespace nelvor::current::docs {

using core::MethodDoc;

inline constexpr const char* class_doc =
    "The state store: one row per object in its class version's table, keyed by the\n"
    "object id (partition_key), inserted, updated and deleted in place, singly or in bulk.\n\n"
    "Typical use: connect(), then within begin() ... commit(): insert(), update(), delete()\n"
    "or their bulk forms; query() and count() read the rows; revert() undoes what the\n"
    "innermost transaction level wrote by compensating writes.";

inline constexpr MethodDoc query{
    core::docs::query_signature,
    "Read the records of a class version's table.\n\n"
    "Args:\n"
    "    address: names the table (class_name, class_version); its object_id is not a\n"
    "        filter: use conditions (Q(partition_key=...)).\n"
    "    query_specifier: only (the fields to select) and distinct (fields selected DISTINCT).\n"
    "    conditions: a Q tree (&, |, ~) of field lookups: field=value, or field__LOOKUP with\n"
    "        LOOKUP one of neq, gt, gte, lt, lte, in, contains, icontains, startswith,\n"
    "        istartswith, endswith, iendswith, isnull; a field name with more __ reaches\n"
    "        into a json column (info__country='NO').\n"
    "    pagination: a NumberPaginator (limit, offset).\n"
    "    order_by: OrderBy items (desc=True for descending).\n\n"
    "Returns:\n"
    "    One dict per row, by column name; json columns decoded.\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    NelvorConnectionError: the SELECT failed (driver error as __cause__)."};

inline constexpr MethodDoc count{
    core::docs::count_signature,
    "Count the rows query() would return for the same address and conditions.\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    NelvorConnectionError: the statement failed (driver error as __cause__)."};

inline constexpr MethodDoc insert{
    "def insert(self, address: nelvor_utils.models.data_models.address.Address, "
    "data: dict[str, typing.Any]) -> None",
    "Insert the object's row.\n\n"
    "Args:\n"
    "    address: class_name, class_version and object_id of the row.\n"
    "    data: the fields; those the table has no column for are left out; dicts and lists\n"
    "        go to json columns. Not modified.\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    IndexError: revert is enabled and no transaction level is open (nothing written).\n"
    "    NelvorConnectionError: the INSERT failed, e.g. the object exists already (driver\n"
    "        error as __cause__)."};

inline constexpr MethodDoc update{
    "def update(self, address: nelvor_utils.models.data_models.address.Address, "
    "data: dict[str, typing.Any]) -> None",
    "Set the given fields of the object's row; the other columns keep their values. With\n"
    "revert enabled the row is read first and kept for revert().\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    NelvorConnectionError: 'Record not found for ...' (revert enabled and no such row;\n"
    "        nothing written), or the statement failed (driver error as __cause__).\n"
    "    IndexError: revert is enabled and no transaction level is open (nothing written)."};

inline constexpr MethodDoc delete_record{
    "def delete(self, address: nelvor_utils.models.data_models.address.Address) -> None",
    "Delete the object's row. With revert enabled the row is read first and kept for\n"
    "revert().\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    NelvorConnectionError: 'Record not found for ...' (revert enabled and no such row;\n"
    "        nothing deleted), or the statement failed (driver error as __cause__).\n"
    "    IndexError: revert is enabled and no transaction level is open (nothing deleted)."};

inline constexpr MethodDoc bulk_insert{
    "def bulk_insert(self, data: list[tuple[nelvor_utils.models.data_models.address.Address, "
    "dict[str, typing.Any]]]) -> None",
    "Insert many rows of one table in a single INSERT.\n\n"
    "Args:\n"
    "    data: (address, record) pairs as for insert(); all rows go to the table of the\n"
    "        first address; fields missing from a record are written as NULL. An empty list\n"
    "        does nothing.\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    IndexError: revert is enabled and no transaction level is open (nothing written).\n"
    "    NelvorConnectionError: the INSERT failed; no row is written (driver error as\n"
    "        __cause__)."};

inline constexpr MethodDoc bulk_update{
    "def bulk_update(self, data: list[tuple[nelvor_utils.models.data_models.address.Address, "
    "dict[str, typing.Any]]]) -> None",
    "Update many rows of one table in a single UPDATE ... FROM unnest(...). A bulk update is\n"
    "not recorded for revert (a warning is logged when revert is enabled).\n\n"
    "Args:\n"
    "    data: (address, record) pairs; each record sets the given fields of its object's\n"
    "        row. An empty list does nothing.\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    NelvorConnectionError: the UPDATE failed; no row is changed (driver error as\n"
    "        __cause__)."};

inline constexpr MethodDoc bulk_delete{
    "def bulk_delete(self, addresses: list[nelvor_utils.models.data_models.address.Address]) -> None",
    "Delete the rows of many objects of one table in a single DELETE. With revert enabled\n"
    "each row is read first and kept for revert().\n\n"
    "Raises:\n"
    "    TypeError: an argument of the wrong type (the message names it).\n"
    "    NelvorConnectionError: 'Record not found for ...' (revert enabled and an address has\n"
    "        no row; nothing deleted), or the DELETE failed (driver error as __cause__).\n"
    "    IndexError: revert is enabled and no transaction level is open (nothing deleted)."};

inline constexpr MethodDoc revert{
    "def revert(self) -> None",
    "Undo the writes of the innermost transaction level with compensating writes, newest\n"
    "first (an insert is deleted, an update or delete is written back as it was), and close\n"
    "that level: do not commit() or rollback() it afterwards. No transaction statement is\n"
    "sent: after the outermost level the database transaction stays open; end it with\n"
    "execute('COMMIT') or execute('ROLLBACK').\n\n"
    "Raises:\n"
    "    NelvorConnectionError: 'Revert is not supported' (built with is_revert_supported=\n"
    "        False, or a revert failed before), or a compensating write failed.\n"
    "    IndexError: no transaction level is open."};

}  // namespace nelvor::current::docs
