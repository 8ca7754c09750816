#include "linedata.h"
#include "sourcedocument.h"

#include <gtest/gtest.h>

TEST(SourceDocument, StartsWithOneEmptyLine)
{
    SourceDocument doc;
    EXPECT_EQ(doc.NumLines(), 1);
    EXPECT_EQ(doc.GetLine(0), QString());
}
