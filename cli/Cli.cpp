#include "cli/Cli.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <optional>

#include "imaging/AdjustmentChain.h"
#include "imaging/Catalogue.h"
#include "platform/FileWrite.h"
#include "platform/Filters.h"
#include "platform/Memory.h"
#include "platform/Renderer.h"
#include "platform/Shapes.h"
#include "svg/SVG.h"
#include "svg/SVGPresentation.h"
#include "trace/CentrelineTrace.h"
#include "trace/ImgTrace.h"
#include "workspace/TraceRoad.h"
#include "workspace/TraceShapes.h"
#include "workspace/SvgExport.h"

namespace karto {

namespace {

enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

const char* const kHelp = R"(Usage: karto-cli COMMAND [ARGUMENTS]

Karto's image work without a window.

Commands:
  filters
      Lists every registered filter by category, with each parameter's
      type, range and default.

  filter NAME INPUT -o OUTPUT [--set PARAM=VALUE ...] [--target PICTURE]
      Runs one filter on INPUT and writes OUTPUT (.png, .jpg or .bmp).
      --set      sets a parameter: a number for number parameters, "X,Y" for
                 points (fractions of the picture: 0.5,0.5 is its middle),
                 #RRGGBB or #AARRGGBB for colours. Repeatable.
      --target   the second picture of transitions and composites.

  adjust INPUT -o OUTPUT [--brightness B] [--contrast C] [--sharpen A]
                         [--pen-size P] [--sketch]
      Runs the window's adjustment chain: brightness and contrast, then
      sharpen, then the paper sketch. A stage runs when one of its options
      is given (brightness and contrast share one stage); the paper sketch
      runs with --sketch or --pen-size. Values not given keep the filter's
      default.

  trace INPUT -o OUTPUT.svg [--brightness B] [--contrast C] [--sharpen A]
                           [--pen-size P] [--sketch | --no-sketch] [--limit L]
                           [--engine centreline|follower] [--tolerance T]
                           [--min-length M] [--speck S] [--png PREVIEW.png]
      From picture to drawing: loads INPUT, runs the adjustment chain as
      adjust does, traces the result and writes an SVG drawing the size of
      the picture. The centre-line engine reads the ink as drawn: it runs
      the paper sketch only with --sketch or --pen-size. The stroke follower
      needs the sketch's pencil lines: it runs it unless --no-sketch is
      given (for clean line art); the pen size is the filter's default
      unless given. --png also renders the drawing to a PNG of the picture's
      size. Prints one summary line with what was found and the
      milliseconds per stage.
      The centre-line engine (the default) draws smooth centre lines, each
      with its width and colour, and fills for dots and wide areas: ink is
      what is darker than L (0 to 255, default 128); curves keep within T
      pixels of the centre line (default 0.8); strokes shorter than M
      pixels (default 3) and ink areas of fewer than S pixels (default 6)
      are dropped.
      The stroke follower (--engine follower) is the window's first engine:
      it walks the pixels whose red channel is at most L (default 127) into
      straight paths.

  render INPUT.svg -o OUTPUT.png [--width W] [--height H]
                                 [--background COLOR]
      Draws an SVG file (.svg or gzip-compressed .svgz) to a PNG through the
      same display shapes and renderer as the 2D view, anti-aliased. Without
      a size the picture has the drawing's own size (96 dpi); with --width
      or --height it is scaled to it, proportions kept; with both it is
      fitted into W x H, proportions kept (the output has the fitted size).
      The background is transparent unless given: a colour name such as
      white, or #RRGGBB or #AARRGGBB. Warnings about the file go to
      standard error.

  --help, help
      Shows this text.

  --version
      Shows the program's version.

A "--" ends the options: what follows is files, even names starting
with "-".

Exit codes: 0 done, 1 the work failed, 2 the command line is wrong.
Output files are written completely or not at all.
)";

const char* TypeName(TShaderValueType t) {
  switch (t) {
    case TShaderValueType::vtFloat: return "number";
    case TShaderValueType::vtPoint: return "point";
    case TShaderValueType::vtColor: return "colour";
    case TShaderValueType::vtBitmap: return "picture";
  }
  return "?";
}

QString Num(double v) { return QString::number(v, 'g', 6); }

QString ColorText(TAlphaColor c) { return "#" + QString("%1").arg(c, 8, 16, QChar('0')).toUpper(); }

// The arguments of one command: positional ones and options with values.
struct Args {
  QStringList positional;
  QList<QPair<QString, QString>> options;  // name (with dashes), value
  QStringList flags;
};

// Splits args; options in valued are followed by a value. Returns an error
// sentence, or an empty string when the line is well-formed.
QString Parse(const QStringList& args, const QStringList& valued, const QStringList& flags, Args& out) {
  bool optionsEnded = false;
  for (int i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    // "--" ends the options: what follows is files, even "-name.png".
    if (a == "--" && !optionsEnded) {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && a.startsWith("-") && a.size() > 1) {
      if (valued.contains(a)) {
        if (i + 1 >= args.size()) return QString("The option %1 needs a value.").arg(a);
        out.options.append({a, args[++i]});
      } else if (flags.contains(a)) {
        out.flags << a;
      } else {
        return QString("Unknown option %1.").arg(a);
      }
    } else {
      out.positional << a;
    }
  }
  return {};
}

std::optional<QString> Option(const Args& a, const QString& name) {
  std::optional<QString> v;
  for (const auto& [n, value] : a.options)
    if (n == name) v = value;
  return v;
}

// onPaper: transparent pixels become white paper (for adjusting and
// tracing, where they would otherwise count as black ink).
// work and bytesPerPixel: the road the picture goes; a picture too large
// for the machine's memory is refused before it is read.
bool LoadPicture(const QString& file, TBitmap& bmp, QTextStream& err, bool onPaper = false,
                 const char* work = "filter", double bytesPerPixel = kAdjustBytesPerPixel) {
  if (!QFileInfo::exists(file)) {
    err << "The file " << file << " does not exist.\n";
    return false;
  }
  const QSize size = QImageReader(file).size();
  if (size.isValid()) {
    const std::string refusal = MemoryRefusal(size.width(), size.height(), bytesPerPixel, work, MachineMemoryBytes());
    if (!refusal.empty()) {
      err << QString::fromStdString(refusal) << "\n";
      return false;
    }
  }
  std::string warning;
  try {
    bmp.LoadFromFile(file, &warning);
  } catch (const EBitmapError& e) {
    err << "The file " << file << " is not a picture Karto can read: " << e.what() << "\n";
    return false;
  }
  if (!warning.empty()) err << "Warning: " << QString::fromStdString(warning) << "\n";
  if (onPaper) bmp.FlattenOnto(TAlphaColors::White);
  return true;
}

bool SavePicture(const TBitmap& bmp, const QString& file, QTextStream& err) {
  try {
    bmp.SaveToFile(file);
  } catch (const EBitmapError& e) {
    err << "Cannot write " << file << ": " << e.what() << "\n";
    return false;
  }
  return true;
}

QString CheckOutputName(const QString& file) {
  const QString ext = QFileInfo(file).suffix().toLower();
  if (ext != "png" && ext != "jpg" && ext != "jpeg" && ext != "bmp")
    return QString("The output %1 needs the extension .png, .jpg or .bmp.").arg(file);
  return {};
}

int ListFilters(QTextStream& out) {
  for (const std::string& cat : FilterManager::Categories()) {
    for (const std::string& name : FilterManager::FiltersOfCategory(cat)) {
      TFilterRec rec;
      FilterManager::FilterRecByName(name, rec);
      out << QString::fromStdString(cat) << "\t" << QString::fromStdString(name) << "\t"
          << QString::fromStdString(rec.Desc) << "\n";
      for (const TShaderValueRec& v : rec.Values) {
        out << "    " << QString::fromStdString(v.Name) << "  " << TypeName(v.ValueType);
        switch (v.ValueType) {
          case TShaderValueType::vtFloat:
            out << "  " << Num(v.Min) << " .. " << Num(v.Max) << "  default " << Num(v.Default);
            break;
          case TShaderValueType::vtPoint:
            out << "  default " << Num(v.DefaultPoint.X) << "," << Num(v.DefaultPoint.Y);
            break;
          case TShaderValueType::vtColor:
            out << "  default " << ColorText(v.DefaultColor);
            break;
          case TShaderValueType::vtBitmap:
            break;
        }
        if (!v.Desc.empty()) out << "  (" << QString::fromStdString(v.Desc) << ")";
        out << "\n";
      }
    }
  }
  return kOk;
}

bool ParseFloat(const QString& s, float& v) {
  bool ok = false;
  const double d = s.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(d)) return false;
  v = float(d);
  return true;
}

bool ParseColor(QString s, TAlphaColor& c) {
  s = s.trimmed();
  if (s.startsWith('#')) s = s.mid(1);
  else if (s.startsWith("0x", Qt::CaseInsensitive)) s = s.mid(2);
  bool ok = false;
  const uint v = s.toUInt(&ok, 16);
  if (!ok || (s.size() != 6 && s.size() != 8)) return false;
  c = s.size() == 6 ? (0xFF000000u | v) : v;
  return true;
}

// Sets one PARAM=VALUE on a filter; an error sentence, or empty on success.
QString SetParameter(TFilter& f, const QString& assignment) {
  const int eq = assignment.indexOf('=');
  if (eq <= 0) return QString("--set needs PARAM=VALUE, not \"%1\".").arg(assignment);
  const std::string name = assignment.left(eq).trimmed().toStdString();
  const QString value = assignment.mid(eq + 1);
  const TFilterRec& rec = f.FilterRec();
  for (const TShaderValueRec& v : rec.Values) {
    if (QString::fromStdString(v.Name).compare(QString::fromStdString(name), Qt::CaseInsensitive) != 0) continue;
    switch (v.ValueType) {
      case TShaderValueType::vtFloat: {
        float x;
        if (!ParseFloat(value, x)) return QString("%1 needs a number, not \"%2\".").arg(QString::fromStdString(v.Name), value);
        if (x < v.Min || x > v.Max)
          return QString("%1 must lie between %2 and %3.").arg(QString::fromStdString(v.Name), Num(v.Min), Num(v.Max));
        f.SetFloat(v.Name, x);
        return {};
      }
      case TShaderValueType::vtPoint: {
        const QStringList xy = value.split(',');
        TPointF p;
        if (xy.size() != 2 || !ParseFloat(xy[0], p.X) || !ParseFloat(xy[1], p.Y))
          return QString("%1 needs a point X,Y, not \"%2\".").arg(QString::fromStdString(v.Name), value);
        f.SetPoint(v.Name, p);
        return {};
      }
      case TShaderValueType::vtColor: {
        TAlphaColor c;
        if (!ParseColor(value, c))
          return QString("%1 needs a colour #RRGGBB or #AARRGGBB, not \"%2\".").arg(QString::fromStdString(v.Name), value);
        f.SetColor(v.Name, c);
        return {};
      }
      case TShaderValueType::vtBitmap:
        return QString("%1 is a picture; give it with --target.").arg(QString::fromStdString(v.Name));
    }
  }
  return QString("The filter %1 has no parameter %2.")
      .arg(QString::fromStdString(rec.Name), QString::fromStdString(name));
}

int RunFilter(const QStringList& args, QTextStream& err) {
  Args a;
  QString problem = Parse(args, {"-o", "--set", "--target"}, {}, a);
  if (problem.isEmpty() && a.positional.size() != 2) problem = "filter needs a filter name and an input picture.";
  if (problem.isEmpty() && !Option(a, "-o")) problem = "filter needs an output file: -o OUTPUT.";
  if (problem.isEmpty()) problem = CheckOutputName(*Option(a, "-o"));
  if (!problem.isEmpty()) {
    err << problem << " See karto-cli --help.\n";
    return kUsage;
  }
  const QString name = a.positional[0];
  std::unique_ptr<TFilter> filter = FilterManager::CreateFilter(name.toStdString());
  // A filter or a parameter that does not exist is a wrong command line,
  // like an unknown option.
  if (!filter) {
    err << "There is no filter named " << name << "; karto-cli filters lists them.\n";
    return kUsage;
  }
  for (const auto& [opt, value] : a.options) {
    if (opt != "--set") continue;
    const QString e = SetParameter(*filter, value);
    if (!e.isEmpty()) {
      err << e << "\n";
      return kUsage;
    }
  }
  TBitmap input;
  if (!LoadPicture(a.positional[1], input, err)) return kFailed;
  if (const auto target = Option(a, "--target")) {
    TBitmap t;
    if (!LoadPicture(*target, t, err)) return kFailed;
    filter->SetTarget(t);
  }
  filter->SetInput(input);
  return SavePicture(filter->Output(), *Option(a, "-o"), err) ? kOk : kFailed;
}

// Reads --brightness, --contrast, --sharpen and --pen-size into o, each
// checked against its parameter's range in the filter's description.
QString ReadAdjustmentOptions(const Args& a, TAdjustmentOptions& o) {
  QString problem;
  struct Bound {
    const char* option;
    const char* filter;
    const char* param;
    std::optional<float>* target;
  };
  const Bound bounds[] = {{"--brightness", "Contrast", "Brightness", &o.brightness},
                          {"--contrast", "Contrast", "Contrast", &o.contrast},
                          {"--sharpen", "Sharpen", "Amount", &o.sharpen},
                          {"--pen-size", "PaperSketch", "BrushSize", &o.penSize}};
  for (const Bound& b : bounds) {
    if (!problem.isEmpty()) break;
    const auto text = Option(a, b.option);
    if (!text) continue;
    float v;
    if (!ParseFloat(*text, v)) {
      problem = QString("%1 needs a number, not \"%2\".").arg(b.option, *text);
      break;
    }
    TFilterRec rec;
    if (FilterManager::FilterRecByName(b.filter, rec))
      for (const TShaderValueRec& p : rec.Values)
        if (p.Name == b.param && (v < p.Min || v > p.Max))
          problem = QString("%1 must lie between %2 and %3.").arg(b.option, Num(p.Min), Num(p.Max));
    *b.target = v;
  }
  return problem;
}

int RunAdjust(const QStringList& args, QTextStream& err) {
  Args a;
  QString problem = Parse(args, {"-o", "--brightness", "--contrast", "--sharpen", "--pen-size"}, {"--sketch"}, a);
  if (problem.isEmpty() && a.positional.size() != 1) problem = "adjust needs exactly one input picture.";
  if (problem.isEmpty() && !Option(a, "-o")) problem = "adjust needs an output file: -o OUTPUT.";
  if (problem.isEmpty()) problem = CheckOutputName(*Option(a, "-o"));
  TAdjustmentOptions o;
  o.sketch = a.flags.contains("--sketch");
  if (problem.isEmpty()) problem = ReadAdjustmentOptions(a, o);
  if (!problem.isEmpty()) {
    err << problem << " See karto-cli --help.\n";
    return kUsage;
  }
  TBitmap input;
  if (!LoadPicture(a.positional[0], input, err, true, "adjust")) return kFailed;
  return SavePicture(ApplyAdjustmentOptions(input, o), *Option(a, "-o"), err) ? kOk : kFailed;
}

// Adds the preview of view (rendered at width x height on white) to files
// when one is asked for, and writes them all together: a command that fails
// leaves none of them. False with the reason on err.
bool WriteDrawingFiles(std::vector<TFileContent>& files, const TControl& view, int width, int height,
                       const std::optional<QString>& png, QTextStream& err) {
  if (png) {
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    try {
      EncodePicture(RenderToImage(view, width, height), *png, bytes);
    } catch (const EBitmapError& e) {
      err << "Cannot write " << *png << ": " << e.what() << "\n";
      return false;
    }
    files.push_back({*png, bytes.data().toStdString()});
  }
  QString failedFile, reason;
  if (!WriteFilesAtomically(files, &failedFile, &reason)) {
    err << "Cannot write " << failedFile << ": " << reason << "\n";
    return false;
  }
  return true;
}

int RunTrace(const QStringList& args, QTextStream& out, QTextStream& err) {
  Args a;
  QString problem = Parse(args,
                          {"-o", "--brightness", "--contrast", "--sharpen", "--pen-size", "--limit", "--png", "--engine",
                           "--tolerance", "--min-length", "--speck"},
                          {"--no-sketch", "--sketch"}, a);
  const QString engine = Option(a, "--engine").value_or("centreline");
  if (problem.isEmpty() && engine != "centreline" && engine != "follower")
    problem = QString("--engine is centreline or follower, not \"%1\".").arg(engine);
  if (problem.isEmpty() && a.positional.size() != 1) problem = "trace needs exactly one input picture.";
  if (problem.isEmpty() && !Option(a, "-o")) problem = "trace needs an output file: -o OUTPUT.svg.";
  if (problem.isEmpty() && QFileInfo(*Option(a, "-o")).suffix().toLower() != "svg")
    problem = QString("The output %1 needs the extension .svg.").arg(*Option(a, "-o"));
  if (problem.isEmpty() && Option(a, "--png") && QFileInfo(*Option(a, "--png")).suffix().toLower() != "png")
    problem = QString("The preview %1 needs the extension .png.").arg(*Option(a, "--png"));
  TAdjustmentOptions o;
  if (problem.isEmpty() && a.flags.contains("--sketch") && a.flags.contains("--no-sketch"))
    problem = "--sketch and --no-sketch exclude each other.";
  o.sketch = engine == "follower" ? !a.flags.contains("--no-sketch") : a.flags.contains("--sketch");
  if (problem.isEmpty()) problem = ReadAdjustmentOptions(a, o);
  if (problem.isEmpty() && a.flags.contains("--no-sketch") && o.penSize)
    problem = "--pen-size and --no-sketch exclude each other.";
  TCentrelineParams centreline;
  int limit = engine == "follower" ? 127 : centreline.Threshold;
  const auto number = [&](const char* name, float min, float max, float& value) {
    if (!problem.isEmpty()) return;
    if (const auto v = Option(a, name)) {
      bool ok = false;
      const float f = v->toFloat(&ok);
      if (!ok || !(f >= min && f <= max))
        problem = QString("%1 needs a number from %2 to %3, not \"%4\".").arg(name).arg(double(min)).arg(double(max)).arg(*v);
      else value = f;
    }
  };
  number("--tolerance", 0.05f, 20, centreline.CurveTolerance);
  number("--min-length", 0, 10000, centreline.MinStrokeLength);
  float speck = float(centreline.SpeckSize);
  number("--speck", 0, 1e6f, speck);
  centreline.SpeckSize = int(speck);
  if (problem.isEmpty() && engine == "follower" &&
      (Option(a, "--tolerance") || Option(a, "--min-length") || Option(a, "--speck")))
    problem = "--tolerance, --min-length and --speck belong to the centre-line engine.";
  if (problem.isEmpty()) {
    if (const auto l = Option(a, "--limit")) {
      bool ok = false;
      limit = l->toInt(&ok);
      if (!ok || limit < 0 || limit > 255) problem = QString("--limit needs a whole number from 0 to 255, not \"%1\".").arg(*l);
    }
  }
  if (!problem.isEmpty()) {
    err << problem << " See karto-cli --help.\n";
    return kUsage;
  }

  QElapsedTimer clock;
  clock.start();
  TBitmap origin;
  if (!LoadPicture(a.positional[0], origin, err, true, "trace", kTraceBytesPerPixel)) return kFailed;
  const qint64 loadMs = clock.restart();
  // Without the sketch and without other options this is the picture itself.
  TBitmap traced = ApplyAdjustmentOptions(origin, o);
  const qint64 adjustMs = clock.restart();
  TTraceSettings settings;
  settings.Engine = engine == "centreline" ? TTraceEngine::Centreline : TTraceEngine::Follower;
  settings.Params = centreline;
  // Ink is darker than L for centre lines; the follower's pixels are dark
  // up to L.
  settings.Params.Threshold = settings.Engine == TTraceEngine::Follower ? limit + 1 : limit;
  // The command writes the drawing, not the trace shown over the picture.
  settings.Params.Claims = false;
  const std::unique_ptr<TTraceRun> run = TTraceRun::Trace(traced, origin, settings);
  if (!run->Traced()) {
    err << QString::fromStdString(run->Message()).replace('\n', ' ') << "\n";
    return kFailed;
  }
  clock.restart();

  // The drawing has the picture's size, so it lies over the picture.
  TPaintBox view;
  if (settings.Engine == TTraceEngine::Follower) ClearPanel(view);
  run->DrawShapes(view);
  view.SetSize(float(origin.Width()), float(origin.Height()));
  // The drawing and its preview are written together: a command that fails
  // leaves neither.
  std::vector<TFileContent> files{{*Option(a, "-o"), ExportSvg(view)}};
  const qint64 exportMs = clock.restart();
  if (!WriteDrawingFiles(files, view, origin.Width(), origin.Height(), Option(a, "--png"), err)) return kFailed;
  const qint64 renderMs = clock.restart();
  out << "dark pixels " << run->DarkPixels();
  if (const TCentrelineDrawing* d = run->Drawing()) {
    const auto ms = [](double v) { return QString::number(v, 'f', 0); };
    out << ", strokes " << d->Strokes.size() << ", fills " << d->Fills.size() << ", points " << run->Points()
        << "; ms: load " << loadMs << ", adjust " << adjustMs << ", ink " << ms(d->MsInk) << ", distance "
        << ms(d->MsDistance) << ", skeleton " << ms(d->MsSkeleton) << ", graph " << ms(d->MsGraph) << ", curves "
        << ms(d->MsFit);
  } else {
    out << ", paths " << run->Paths() << ", points " << run->Points() << "; ms: load " << loadMs << ", adjust "
        << adjustMs << ", build " << run->MsBuild << ", trace " << run->MsTrace;
  }
  out << ", export " << exportMs;
  if (Option(a, "--png")) out << ", preview " << renderMs;
  out << "\n";
  return kOk;
}

int RunRender(const QStringList& args, QTextStream& err) {
  Args a;
  QString problem = Parse(args, {"-o", "--width", "--height", "--background"}, {}, a);
  if (problem.isEmpty() && a.positional.size() != 1) problem = "render needs exactly one input drawing.";
  if (problem.isEmpty() && !Option(a, "-o")) problem = "render needs an output file: -o OUTPUT.png.";
  if (problem.isEmpty() && QFileInfo(*Option(a, "-o")).suffix().toLower() != "png")
    problem = QString("The output %1 needs the extension .png.").arg(*Option(a, "-o"));
  int size[2] = {0, 0};
  const char* const sizeNames[2] = {"--width", "--height"};
  for (int i = 0; i < 2 && problem.isEmpty(); ++i) {
    if (const auto v = Option(a, sizeNames[i])) {
      bool ok = false;
      size[i] = v->toInt(&ok);
      if (!ok || size[i] < 1 || size[i] > 32768)
        problem = QString("%1 needs a whole number of pixels from 1 to 32768, not \"%2\".").arg(sizeNames[i], *v);
    }
  }
  TAlphaColor background = 0;
  if (problem.isEmpty()) {
    if (const auto b = Option(a, "--background")) {
      if (!ParseColor(*b, background) && !TryParseColor(b->trimmed().toStdString(), background))
        problem = QString("--background needs a colour (white, #RRGGBB or #AARRGGBB), not \"%1\".").arg(*b);
    }
  }
  if (!problem.isEmpty()) {
    err << problem << " See karto-cli --help.\n";
    return kUsage;
  }
  const QString input = a.positional[0];
  if (!QFileInfo::exists(input)) {
    err << "The file " << input << " does not exist.\n";
    return kFailed;
  }
  const TSvgPicture picture = RenderSvgFile(input.toStdString(), size[0], size[1], background);
  for (const std::string& w : picture.Warnings) err << input << ": " << QString::fromStdString(w) << "\n";
  if (!picture.Ok) {
    err << "Cannot draw " << input << ": " << QString::fromStdString(picture.Error) << "\n";
    return kFailed;
  }
  try {
    WritePictureFile(picture.Image, *Option(a, "-o"));
  } catch (const EBitmapError& e) {
    err << "Cannot write " << *Option(a, "-o") << ": " << e.what() << "\n";
    return kFailed;
  }
  return kOk;
}

}  // namespace

int RunCli(const QStringList& args, QTextStream& out, QTextStream& err) {
  RegisterCatalogue();
  if (args.isEmpty()) {
    err << "karto-cli needs a command. See karto-cli --help.\n";
    return kUsage;
  }
  const QString cmd = args[0];
  const QStringList rest = args.mid(1);
  if (cmd == "--version") {
    out << "karto-cli " << KARTO_VERSION << "\n";
    return kOk;
  }
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    out << kHelp;
    return kOk;
  }
  if (rest.contains("--help")) {
    out << kHelp;
    return kOk;
  }
  if (cmd == "filters") {
    if (!rest.isEmpty()) {
      err << "filters takes no arguments. See karto-cli --help.\n";
      return kUsage;
    }
    return ListFilters(out);
  }
  // Memory running out on the way is a failure with a sentence, not an
  // abort; outputs are written whole at the end, so nothing is left.
  try {
    if (cmd == "filter") return RunFilter(rest, err);
    if (cmd == "adjust") return RunAdjust(rest, err);
    if (cmd == "trace") return RunTrace(rest, out, err);
    if (cmd == "render") return RunRender(rest, err);
  } catch (const std::bad_alloc&) {
    err << "There is not enough memory for this picture; nothing was written.\n";
    return kFailed;
  }
  err << "Unknown command " << cmd << ". See karto-cli --help.\n";
  return kUsage;
}

}  // namespace karto
