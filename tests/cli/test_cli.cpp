// karto-cli: commands, exit codes, messages, and that failures leave no
// output file behind.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "cli/Cli.h"
#include "imaging/AdjustmentChain.h"
#include "platform/Filters.h"
#include "tests/support/Synthetic.h"

using namespace karto;

namespace {

struct Result {
  int code;
  QString out;
  QString err;
};

class CliTest : public ::testing::Test {
 protected:
  Result Run(const QStringList& args) {
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = RunCli(args, o, e);
    o.flush();
    e.flush();
    return {code, out, err};
  }
  QString Path(const QString& name) const { return dir.filePath(name); }
  QString Picture(const QString& name = "in.png") {
    synthetic::PhotoLike(32, 24, 2).SaveToFile(Path(name));
    return Path(name);
  }
  QTemporaryDir dir;
};

TEST_F(CliTest, HelpDocumentsEveryCommand) {
  for (const QStringList& args : {QStringList{"--help"}, QStringList{"adjust", "--help"}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.code, 0);
    for (const char* word : {"filters", "filter NAME", "adjust INPUT", "--set", "--target", "--brightness",
                             "--contrast", "--sharpen", "--pen-size", "--sketch", "Exit codes", "trace INPUT",
                             "--no-sketch", "--limit", "--png"})
      EXPECT_TRUE(r.out.contains(word)) << word;
  }
}

TEST_F(CliTest, FiltersListsCategoriesNamesAndParameters) {
  const Result r = Run({"filters"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.out.contains("Style\tPaperSketch"));
  EXPECT_TRUE(r.out.contains("BrushSize  number  0.6 .. 10  default 3"));
  EXPECT_TRUE(r.out.contains("Brightness  number  -1 .. 1  default 0"));
}

TEST_F(CliTest, FilterRunsOneFilterWithItsParameters) {
  const QString in = Picture();
  const Result r = Run({"filter", "contrast", in, "-o", Path("out.png"), "--set", "Brightness=0.25", "--set",
                        "contrast=1"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  TBitmap src, out;
  src.LoadFromFile(in);
  out.LoadFromFile(Path("out.png"));
  EXPECT_NEAR(ColorRed(out.Pixel(5, 5)), std::min(255, ColorRed(src.Pixel(5, 5)) + 64), 1);
}

TEST_F(CliTest, AdjustRunsTheWindowsChain) {
  const QString in = Picture();
  const Result r = Run({"adjust", in, "-o", Path("sketch.bmp"), "--contrast", "1.8", "--sketch"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  TBitmap src, out;
  src.LoadFromFile(in);
  out.LoadFromFile(Path("sketch.bmp"));
  TAdjustmentOptions o;
  o.contrast = 1.8f;
  o.sketch = true;
  EXPECT_EQ(out, ApplyAdjustmentOptions(src, o));
}

TEST_F(CliTest, FailuresExplainThemselvesAndLeaveNoOutput) {
  const QString in = Picture();
  QFile corrupt(Path("corrupt.png"));
  ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
  corrupt.write("\x89PNG\r\n\x1a\nbroken");
  corrupt.close();
  struct Case {
    QStringList args;
    int code;
    const char* says;
  };
  const QString out = Path("out.png");
  const Case cases[] = {
      // Usage errors.
      {{}, 2, "needs a command"},
      {{"paint"}, 2, "Unknown command paint"},
      {{"filter", "Contrast", in}, 2, "-o OUTPUT"},
      {{"filter", "Contrast", in, "-o"}, 2, "needs a value"},
      {{"adjust", in, "-o", out, "--frobnicate"}, 2, "Unknown option --frobnicate"},
      {{"adjust", in, "-o", out, "--brightness", "bright"}, 2, "needs a number"},
      {{"adjust", in, "-o", out, "--pen-size", "50"}, 2, "between 0.6 and 10"},
      {{"adjust", in, "-o", Path("out.gif")}, 2, ".png, .jpg or .bmp"},
      {{"filters", "extra"}, 2, "no arguments"},
      {{"filter", "Blurry", in, "-o", out}, 2, "no filter named Blurry"},
      {{"filter", "Sharpen", in, "-o", out, "--set", "Radius=3"}, 2, "no parameter Radius"},
      {{"filter", "Sharpen", in, "-o", out, "--set", "Amount=9"}, 2, "between 0 and 2"},
      {{"filter", "Sharpen", in, "-o", out, "--set", "Amount"}, 2, "PARAM=VALUE"},
      // The work fails.
      {{"adjust", Path("missing.png"), "-o", out}, 1, "does not exist"},
      {{"adjust", corrupt.fileName(), "-o", out}, 1, "not a picture"},
      // "--" ends the options: a file may start with "-".
      {{"adjust", "-o", out, "-missing.png"}, 2, "Unknown option -missing.png"},
      {{"adjust", "-o", out, "--", "-missing.png"}, 1, "-missing.png does not exist"},
      {{"adjust", in, "-o", Path("no/such/folder/out.png")}, 1, "Cannot write"},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(out)) << c.args.join(' ').toStdString();
  }
  // Nothing but the inputs is left in the folder: no temporary files.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);

  // A trace whose preview cannot be written leaves no drawing either, and
  // says once which file it could not write.
  TBitmap art(120, 80);
  art.Clear(0xFFFFFFFFu);
  for (int x = 10; x < 110; ++x)
    for (int y = 38; y < 42; ++y) art.SetPixel(x, y, 0xFF000000u);
  art.SaveToFile(Path("line.png"));
  const QString svg = Path("out.svg");
  const Result t = Run({"trace", Path("line.png"), "-o", svg, "--png", Path("missing/p.png"), "--no-sketch"});
  EXPECT_EQ(t.code, 1) << t.err.toStdString();
  EXPECT_EQ(t.err.count("Cannot write"), 1) << t.err.toStdString();
  EXPECT_TRUE(t.err.contains("missing/p.png")) << t.err.toStdString();
  EXPECT_FALSE(QFile::exists(svg));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

TEST_F(CliTest, TraceWritesAnSvgDrawingAndAPreview) {
  struct Case {
    const char* name;
    TBitmap picture;
    QStringList options;
  };
  TBitmap art(200, 150);
  art.Clear(0xFFFFFFFFu);
  synthetic::DrawHouse(art, 0xFF000000u, false);
  TBitmap photo = synthetic::PhotoLike(320, 240, 6);
  synthetic::DrawHouse(photo, 0xFF101010u, true);
  const Case cases[] = {{"lines.png", art, {"--no-sketch"}},
                        {"drawing.png", synthetic::LineDrawingPhoto(240, 180, 4), {"--pen-size", "2", "--limit", "120"}},
                        {"photo.jpg", photo, {"--contrast", "1.6"}}};
  for (const Case& c : cases)
    for (const char* engine : {"centreline", "follower"}) {
      c.picture.SaveToFile(Path(c.name));
      const QString svg = Path(QString(c.name) + ".svg"), png = Path(QString(c.name) + ".preview.png");
      const Result r = Run(QStringList{"trace", Path(c.name), "-o", svg, "--png", png, "--engine", engine} + c.options);
      ASSERT_EQ(r.code, 0) << r.err.toStdString();
      EXPECT_TRUE(r.out.startsWith("dark pixels ")) << r.out.toStdString();
      const char* found = std::string(engine) == "follower" ? "paths " : "strokes ";
      EXPECT_TRUE(r.out.contains(found) && r.out.contains("ms: load")) << r.out.toStdString();
      QFile f(svg);
      ASSERT_TRUE(f.open(QIODevice::ReadOnly));
      const QByteArray text = f.readAll();
      EXPECT_TRUE(text.contains(QString("width=\"%1\" height=\"%2\"").arg(c.picture.Width()).arg(c.picture.Height()).toUtf8()));
      EXPECT_GE(text.count("<path"), 3) << c.name;
      EXPECT_TRUE(text.trimmed().endsWith("</svg>"));
      TBitmap preview;
      preview.LoadFromFile(png);
      EXPECT_EQ(preview.Width(), c.picture.Width());
    }
}

// The centre-line engine's options: checked like the others, and refused
// with the follower.
TEST_F(CliTest, TraceEngineOptions) {
  TBitmap art(120, 60);
  art.Clear(0xFFFFFFFFu);
  for (int y = 28; y < 33; ++y)
    for (int x = 10; x < 110; ++x) art.SetPixel(x, y, 0xFF2040A0u);
  art.SaveToFile(Path("bar.png"));
  const QString svg = Path("bar.svg");
  struct Case {
    QStringList options;
    int code;
    const char* text;  // in the output (code 0) or the error
  };
  const Case cases[] = {
      {{}, 0, "strokes 1, fills 0"},
      {{"--tolerance", "2", "--min-length", "5", "--speck", "20"}, 0, "strokes 1"},
      {{"--engine", "sideways"}, 2, "--engine"},
      {{"--tolerance", "x"}, 2, "--tolerance"},
      {{"--engine", "follower", "--speck", "4"}, 2, "centre-line engine"},
  };
  for (const Case& c : cases) {
    const Result r = Run(QStringList{"trace", Path("bar.png"), "-o", svg, "--no-sketch"} + c.options);
    EXPECT_EQ(r.code, c.code) << c.options.join(" ").toStdString();
    EXPECT_TRUE((c.code ? r.err : r.out).contains(c.text)) << (c.code ? r.err : r.out).toStdString();
  }
  // One stroke, its width and colour, drawn as a curve.
  QFile f(svg);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray text = f.readAll();
  EXPECT_TRUE(text.contains("stroke-width=\"5") || text.contains("stroke-width=\"4.")) << text.constData();
  EXPECT_TRUE(text.contains("#2040A0") || text.contains("#2040a0")) << text.constData();
}

// Line art with a transparent background: the transparent pixels are
// paper, so the line traces as the line, with and without the sketch, and
// an adjusted copy shows white where the picture was transparent.
TEST_F(CliTest, TransparentPixelsArePaper) {
  TBitmap art(160, 100);
  art.Clear(0x00000000u);  // transparent black, as line-art PNGs often are
  for (int y = 48; y < 52; ++y)
    for (int x = 20; x < 140; ++x) art.SetPixel(x, y, 0xFF000000u);
  art.SaveToFile(Path("line.png"));
  for (const QStringList& options : {QStringList{"--no-sketch"}, QStringList{}}) {
    const Result r = Run(QStringList{"trace", Path("line.png"), "-o", Path("line.svg"), "--png", Path("line-p.png")} +
                         options);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QFile f(Path("line.svg"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_GE(text.count("<path"), 1) << options.join(" ").toStdString();
    EXPECT_LE(text.count("<path"), 3) << options.join(" ").toStdString();
    TBitmap preview;
    preview.LoadFromFile(Path("line-p.png"));
    EXPECT_EQ(preview.Pixel(5, 5) & 0xFFFFFFu, 0xFFFFFFu);
  }
  ASSERT_EQ(Run({"adjust", Path("line.png"), "-o", Path("adjusted.png")}).code, 0);
  TBitmap adjusted;
  adjusted.LoadFromFile(Path("adjusted.png"));
  EXPECT_EQ(adjusted.Pixel(5, 5), 0xFFFFFFFFu);
  EXPECT_EQ(adjusted.Pixel(80, 50) & 0xFFFFFFu, 0u);
}

TEST_F(CliTest, TraceFailuresUseTheWindowsTexts) {
  TBitmap white(50, 40);
  white.Clear(0xFFFFFFFFu);
  white.SaveToFile(Path("white.png"));
  QFile corrupt(Path("corrupt.png"));
  ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
  corrupt.write("\x89PNG\r\n\x1a\nbroken");
  corrupt.close();
  synthetic::LineDrawingPhoto(240, 180, 4).SaveToFile(Path("drawing.png"));
  const QString in = Path("drawing.png");
  const QString out = Path("out.svg");
  struct Case {
    QStringList args;
    int code;
    const char* says;
  };
  const Case cases[] = {
      {{"trace", Path("missing.png"), "-o", out}, 1, "does not exist"},
      {{"trace", corrupt.fileName(), "-o", out}, 1, "not a picture"},
      {{"trace", Path("white.png"), "-o", out}, 1, "The bitmap is empty or too small!"},
      {{"trace", in, "-o", Path("nowhere/out.svg")}, 1, "Cannot write"},
      {{"trace", in, "-o", Path("out.png")}, 2, ".svg"},
      {{"trace", in, "-o", out, "--limit", "300"}, 2, "--limit"},
      {{"trace", in, "-o", out, "--no-sketch", "--pen-size", "3"}, 2, "exclude each other"},
      {{"trace", in, "-o", out, "--sketch", "--no-sketch"}, 2, "exclude each other"},
  };
  for (const Case& c : cases) {
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
  }
}

TEST_F(CliTest, TheProgramReturnsTheExitCodes) {
  QProcess p;
  p.start(KARTO_CLI_PATH, {"adjust", Path("missing.png"), "-o", Path("o.png")});
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), 1);
  EXPECT_TRUE(QString(p.readAllStandardError()).contains("does not exist"));
  p.start(KARTO_CLI_PATH, {"--bogus"});
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), 2);
  p.start(KARTO_CLI_PATH, {"--version"});
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_TRUE(QString(p.readAllStandardOutput()).startsWith("karto-cli " KARTO_VERSION));
  // Standard output that cannot be written is a failure.
  if (QFileInfo::exists("/dev/full")) {
    p.setStandardOutputFile("/dev/full");
    p.start(KARTO_CLI_PATH, {"filters"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString(p.readAllStandardError()).contains("standard output"));
  }
}

// A JPEG cut short loads with a warning; a JPEG cannot be written larger
// than the format allows, and says so.
TEST_F(CliTest, PicturesThatLoadButNotWholeSaySo) {
  synthetic::PhotoLike(64, 48, 3).SaveToFile(Path("whole.jpg"));
  QFile whole(Path("whole.jpg"));
  ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
  const QByteArray bytes = whole.readAll();
  QFile cut(Path("cut.jpg"));
  ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
  // Half of the picture data, after every header.
  const int data = bytes.indexOf("\xFF\xDA");
  ASSERT_GT(data, 0);
  cut.write(bytes.left(data + (bytes.size() - data) / 2));
  cut.close();
  Result r = Run({"adjust", Path("cut.jpg"), "-o", Path("a.png")});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.err.contains("cut short")) << r.err.toStdString();
  r = Run({"adjust", Path("whole.jpg"), "-o", Path("b.png")});
  EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
  TBitmap wide(65501, 1);
  wide.Clear(0xFFFFFFFFu);
  try {
    wide.SaveToFile(Path("wide.jpg"));
    ADD_FAILURE() << "no error";
  } catch (const EBitmapError& e) {
    EXPECT_NE(std::string(e.what()).find("65,500"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(QFile::exists(Path("wide.jpg")));
}

// A picture too large for the memory the process may use is refused before
// it is read, with its size and what it would need (the limit set with
// prlimit, as a small machine or a container would have it).
TEST_F(CliTest, PicturesTooLargeForTheMemoryAreRefusedUpFront) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
  if (QStandardPaths::findExecutable("prlimit").isEmpty()) GTEST_SKIP() << "no prlimit";
  QImage big(4000, 4000, QImage::Format_Grayscale8);
  big.fill(255);
  ASSERT_TRUE(big.save(Path("big.png")));
  QProcess p;
  p.start("prlimit", {"--as=350000000", KARTO_CLI_PATH, "trace", Path("big.png"), "-o", Path("big.svg")});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 1);
  const QString said = p.readAllStandardError();
  EXPECT_TRUE(said.contains("4000 x 4000 pixels") && said.contains("GB of memory")) << said.toStdString();
  EXPECT_FALSE(QFile::exists(Path("big.svg")));
}

// Memory running out inside a filter: a sentence and exit 1, no output, no
// abort.
void NoMemoryKernel(const TFilterParams&, const TBitmap&, const TBitmap&, TBitmap&) { throw std::bad_alloc(); }

TEST_F(CliTest, RunningOutOfMemorySaysSoAndLeavesNothing) {
  FilterManager::Register(FilterManager::Categories().front(), TFilterRec{"NoMemoryForThis", "", {}}, NoMemoryKernel);
  const Result r = Run({"filter", "NoMemoryForThis", Picture(), "-o", Path("out.png")});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("not enough memory")) << r.err.toStdString();
  EXPECT_FALSE(QFile::exists(Path("out.png")));
}

}  // namespace
