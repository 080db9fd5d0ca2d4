// Replays the environment library's transcripts in process, with the real
// library loaded.
#include "tests/unit/env/env_transcript_fixture.h"

namespace qor::test {
namespace {

using EnvTranscriptTest = EnvTranscriptFixture;

TEST_F(EnvTranscriptTest, BaseWords) { replay("base.qt"); }
TEST_F(EnvTranscriptTest, Routines) { replay("routines.qt"); }
TEST_F(EnvTranscriptTest, TypeTests) { replay("type_tests.qt"); }
TEST_F(EnvTranscriptTest, NumberNatives) { replay("numbers.qt"); }
TEST_F(EnvTranscriptTest, LibraryFunctions) { replay("library.qt"); }
TEST_F(EnvTranscriptTest, Rejoin) { replay("rejoin.qt"); }
TEST_F(EnvTranscriptTest, PairsAndPoints) { replay("pairs_points.qt"); }
TEST_F(EnvTranscriptTest, Tuples) { replay("tuples.qt"); }
TEST_F(EnvTranscriptTest, PercentHandleTriple) { replay("scalars.qt"); }
TEST_F(EnvTranscriptTest, Bitsets) { replay("bitset.qt"); }
TEST_F(EnvTranscriptTest, Money) { replay("money.qt"); }
TEST_F(EnvTranscriptTest, Times) { replay("time.qt"); }
TEST_F(EnvTranscriptTest, Dates) { replay("dates.qt"); }
TEST_F(EnvTranscriptTest, ClockAndWait) { replay("clock.qt"); }
TEST_F(EnvTranscriptTest, TextToValues) { replay("text_to_values.qt"); }
TEST_F(EnvTranscriptTest, SeriesEdges) { replay("series_edges.qt"); }
TEST_F(EnvTranscriptTest, PathsAndLoops) { replay("paths_and_loops.qt"); }
TEST_F(EnvTranscriptTest, LargeBlocks) { replay("large_blocks.qt"); }
TEST_F(EnvTranscriptTest, SpecsAndOptions) { replay("specs_and_options.qt"); }
TEST_F(EnvTranscriptTest, Vectors) { replay("vector.qt"); }
TEST_F(EnvTranscriptTest, Parse) { replay("parse.qt"); }
TEST_F(EnvTranscriptTest, ParseGrammars) { replay("parse_grammars.qt"); }
TEST_F(EnvTranscriptTest, HostileValues) { replay("hostile_values.qt"); }
TEST_F(EnvTranscriptTest, Urls) { replay("url.qt"); }

}  // namespace
}  // namespace qor::test
