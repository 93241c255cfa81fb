#include "connections/sql/result_records.hpp"

namespace nelvor::sql {

nb::list records_from_cursor(nb::handle self, nb::handle cursor, nb::handle table_name, nb::handle description) {
    nb::list names;
    for (nb::handle column : cursor.attr("description")) names.append(column[0]);
    const size_t width = nb::len(names);
    nb::object process_result = self.attr("_process_result");
    nb::list records;
    for (nb::handle row : cursor.attr("fetchall")()) {
        if (nb::len(row) != width) throw nb::type_error("a result row does not match the described columns");
        nb::dict values;
        for (size_t i = 0; i < width; ++i) values[names[i]] = row[i];
        records.append(process_result(table_name, values, description));
    }
    return records;
}

}  // namespace nelvor::sql
