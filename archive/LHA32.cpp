#include "LHA32.h"

TArcFamily &Lha32Family()
{
    static TArcFamily family{TArcLibrary("unlha32.so"), "この機能の使用には UNLHA32.DLL が 必要です。", "Unlha",
                             "UnlhaOpenArchive", "UnlhaCloseArchive", "UnlhaFindFirst", "UnlhaFindNext"};
    return family;
}

TCmdOpt TLha32::Build(const QString &archive, const QStringList *files, const QString &folder,
                      const TArchiverOptions &o)
{
    TCmdOpt opt;
    opt.AddText(QStringLiteral("-+"));
    const std::pair<const char *, int> first[] = {{"a", o.a}, {"c", o.c}, {"d", o.d}, {"e", o.e}, {"f", o.f},
                                                  {"h", o.h}, {"i", o.i}, {"l", o.l}, {"m", o.m}, {"n", o.n},
                                                  {"o", o.o}, {"p", o.p}, {"r", o.r}, {"s", o.s}, {"t", o.t},
                                                  {"u", o.u}};
    for (const auto &[name, value] : first)
        opt.AddNumber(QLatin1String(name), value);
    opt.AddDir(QStringLiteral("w"), o.w);
    const std::pair<const char *, int> second[] = {{"x", o.x},   {"y", o.y},   {"z", o.z},   {"jc", o.jc},
                                                   {"jd", o.jd}, {"je", o.je}, {"jf", o.jf}, {"jh", o.jh},
                                                   {"ji", o.ji}, {"jm", o.jm}, {"jn", o.jn}};
    for (const auto &[name, value] : second)
        opt.AddNumber(QLatin1String(name), value);
    opt.AddQuoted(QStringLiteral("jo"), o.jo);
    opt.AddQuoted(QStringLiteral("job"), o.job);
    const std::pair<const char *, int> third[] = {{"jp", o.jp}, {"jr", o.jr}, {"jss", o.jss}, {"jw", o.jw}};
    for (const auto &[name, value] : third)
        opt.AddNumber(QLatin1String(name), value);
    opt.AddFiles(QStringLiteral("jx"), o.jx);
    const std::pair<const char *, int> fourth[] = {
        {"jyc", o.jyc}, {"jyd", o.jyd}, {"jyk", o.jyk}, {"jyn", o.jyn}, {"jyo", o.jyo}};
    for (const auto &[name, value] : fourth)
        opt.AddNumber(QLatin1String(name), value);
    opt.AddQuoted(QStringLiteral("jz"), o.jz);
    const std::pair<const char *, int> fifth[] = {{"ga", o.ga}, {"gd", o.gd}, {"ge", o.ge}, {"gf", o.gf},
                                                  {"gj", o.gj}, {"gm", o.gm}, {"gn", o.gn}, {"go", o.go},
                                                  {"gp", o.gp}, {"gr", o.gr}, {"gs", o.gs}, {"gu", o.gu},
                                                  {"gw", o.gw}};
    for (const auto &[name, value] : fifth)
        opt.AddNumber(QLatin1String(name), value);
    AddNamesTo(opt, archive, files, folder, o);
    return opt;
}

int32_t TLha32::RunWord(const char *word, uintptr_t wnd, const TCmdOpt &opt, QString &output)
{
    return Run(m_family, CommandWindow(wnd), QLatin1String(word) + opt.Text, output);
}

int32_t TLha32::Extract(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                        const QString &folder, const TArchiverOptions &options)
{
    return RunWord("x", wnd, Build(archive, files, folder, options), output);
}

int32_t TLha32::Add(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                    const QString &folder, const TArchiverOptions &options)
{
    return RunWord("u", wnd, Build(archive, files, folder, options), output);
}

int32_t TLha32::Delete(uintptr_t wnd, const QString &archive, QString &output, const QStringList *files,
                       const QString &, const TArchiverOptions &options)
{
    return RunWord("d", wnd, Build(archive, files, QString(), options), output);
}

int32_t TLha32::MakeSfx(uintptr_t wnd, const QString &archive, QString &output, const TArchiverOptions &options)
{
    return RunWord("s", wnd, Build(archive, nullptr, QString(), options), output);
}
