#include "db/named_params.h"

#include <gtest/gtest.h>

namespace edi::db {
namespace {

TEST(NamedParameters, RewritesMarkersAndKeepsColonsInLiteralsAndComments) {
    auto p =
        parseNamedParameters("select ':X', \"A:B\" from T -- :C\n where a = :Id and b = :id /* :D */ and c=:OLD_c");
    EXPECT_EQ(p.sql, "select ':X', \"A:B\" from T -- :C\n where a = ? and b = ? /* :D */ and c=?");
    EXPECT_EQ(p.names, (std::vector<std::string>{"ID", "ID", "OLD_C"}));

    auto q = parseNamedParameters("select 'it''s :not' from dual where x = :P0");
    EXPECT_EQ(q.sql, "select 'it''s :not' from dual where x = ?");
    EXPECT_EQ(q.names, std::vector<std::string>{"P0"});

    // A lone colon or one followed by a digit is not a parameter; an unterminated literal is copied as is.
    auto r = parseNamedParameters("select 1 :: 2, :1, ':open");
    EXPECT_TRUE(r.names.empty());
    EXPECT_EQ(r.sql, "select 1 :: 2, :1, ':open");
}

} // namespace
} // namespace edi::db
