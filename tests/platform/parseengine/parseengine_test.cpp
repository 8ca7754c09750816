#include "enginefixture.h"

TEST(ParseEngine, AnswersTheWorkedExample)
{
    ParseEngine engine;
    EngineDocument doc(engine);
    const QString line = QStringLiteral("START\tS X=1 W X ; note");
    ASSERT_EQ(line.size(), 22);
    doc.append({line});
    EXPECT_EQ(doc.parse(1, line),
              "0 1 0^0 0\\4 0 5 0\\6 6 1 0\\17 8 1 0\\11 9 1 0\\8 10 1 0\\6 12 1 0\\17 14 1 0\\3 16 6 0");
    EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 1, 1), "7,11");
    EXPECT_EQ(doc.twoLongs("Cmd2Rng^PARSE", 1, 2), "13,15");
    EXPECT_EQ(doc.twoLongs("Pos2Cmd^PARSE", 1, 9), "1");
    EXPECT_EQ(doc.twoLongs("Pos2Cmd^PARSE", 1, 3), "0");
    EXPECT_EQ(doc.twoLongs("Pos2CRng^PARSE", 1, 14), "13,15");
    EXPECT_EQ(doc.twoLongs("Pos2CEnd^PARSE", 1, 7), "11");
    EXPECT_EQ(doc.twoLongs("Pos2Tip^PARSE", 1, 9), QStringLiteral("=X") + QChar(0) + "V1:9");
}
