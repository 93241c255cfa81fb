// The statement lexer decides how a text may run (prepared, streamed, after a
// held BEGIN): a wrong answer about quotes or comments would prepare two
// statements as one or hold back a BEGIN that is not bare.
#include "check.hpp"
#include "driver/execution/sql_lexer.hpp"

using namespace nelvor::driver;

namespace {

void keyword_and_single() {
    CHECK(statement_shape("select 1").keyword == "SELECT");
    CHECK(statement_shape("  \n\t(( SELECT 1) UNION (SELECT 2))").keyword == "SELECT");
    CHECK(statement_shape("-- note\n/* block /* nested */ still */ insert into t values (1)").keyword == "INSERT");
    CHECK(statement_shape("").keyword.empty() && !statement_shape("").single);
    CHECK(!statement_shape("  -- only a comment").single);

    CHECK(statement_shape("SELECT 1").single);
    CHECK(statement_shape("SELECT 1 ;  ; -- trailing\n").single);
    CHECK(!statement_shape("SELECT 1; SELECT 2").single);
    CHECK(!statement_shape("SELECT 1; /* c */ DELETE FROM t").single);
}

void semicolons_inside_quotes_and_comments() {
    CHECK(statement_shape("SELECT ';' , \"a;b\" FROM t").single);
    CHECK(statement_shape("SELECT 'it''s; fine'").single);
    CHECK(statement_shape("SELECT E'back\\'slash;' ").single);
    CHECK(!statement_shape("SELECT 'a\\'; SELECT 2 --'").single);  // standard strings: the quote ends at a\'
    CHECK(statement_shape("SELECT $$ ; $$, $tag$ ; $$ ; $tag$").single);
    CHECK(statement_shape("SELECT 1 /* ; */ -- ;\n").single);
    CHECK(!statement_shape("SELECT $1; SELECT 2").single);  // $1 is a parameter, not a quote
    CHECK(statement_shape("SELECT a$b$c FROM t").single);      // '$' inside an identifier
    CHECK(statement_shape("SELECT 'unterminated ; ").single);
}

void kinds() {
    CHECK(is_preparable(statement_shape("WITH x AS (SELECT 1) SELECT * FROM x")));
    CHECK(!is_preparable(statement_shape("SELECT 1; SELECT 2")));
    CHECK(!is_preparable(statement_shape("CREATE TABLE t (a int)")));
    CHECK(returns_rows(statement_shape("values (1)")));
    CHECK(!returns_rows(statement_shape("UPDATE t SET a = 1")));
    CHECK(changes_schema(statement_shape("alter table t add b int")));
    CHECK(!changes_schema(statement_shape("SELECT 'DROP'")));
}

void forgetting_prepared() {
    CHECK(forgets_prepared("DISCARD ALL", statement_shape("DISCARD ALL")));
    CHECK(forgets_prepared("deallocate all;", statement_shape("deallocate all;")));
    CHECK(!forgets_prepared("DEALLOCATE stmt_all", statement_shape("DEALLOCATE stmt_all")));
    CHECK(!forgets_prepared("SELECT 'ALL'", statement_shape("SELECT 'ALL'")));
}

void bare_begin() {
    CHECK(is_bare_begin("BEGIN"));
    CHECK(is_bare_begin("  begin ;  "));
    CHECK(!is_bare_begin("BEGIN ISOLATION LEVEL SERIALIZABLE"));
    CHECK(!is_bare_begin("BEGIN; SELECT 1"));
    CHECK(!is_bare_begin("BEGIN -- note"));
    CHECK(!is_bare_begin("BEGIN;;"));
    CHECK(!is_bare_begin(""));
}

}  // namespace

int main() {
    keyword_and_single();
    semicolons_inside_quotes_and_comments();
    kinds();
    forgetting_prepared();
    bare_begin();
    return check::failures;
}
