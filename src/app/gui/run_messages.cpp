#include "app/gui/run_messages.h"

#include <QCoreApplication>
#include <cerrno>

namespace verava {
namespace {

// How runs end, in the source language; Tr() gives the chosen language.
const char* const kInputMissing =
    QT_TRANSLATE_NOOP("VERava", "请先选择文件，或者选择的文件不存在！");
const char* const kReversed = QT_TRANSLATE_NOOP("VERava", "文件已经重排，请查看后重新选择");
const char* const kOpenFailed =
    QT_TRANSLATE_NOOP("VERava", "文件无法打开，可能不是PDF文件或已损坏");
const char* const kPasswordRequired = QT_TRANSLATE_NOOP("VERava", "文件已加密，需要密码才能打开");
const char* const kSaveFailed = QT_TRANSLATE_NOOP("VERava", "文件保存失败：");
const char* const kMergeInputMissing = QT_TRANSLATE_NOOP("VERava", "奇数页文件或偶数页文件不存在");
// The two counts of a merge whose files do not fit, each "%n页" ("3 pages").
const char* const kMergeCounts = QT_TRANSLATE_NOOP("VERava", "奇数页文件%1，偶数页文件%2。");
const char* const kPageCount = QT_TRANSLATE_N_NOOP("VERava", "%n页");
const char* const kMergeCountRule =
    QT_TRANSLATE_NOOP("VERava", "奇数页应等于偶数页或多1页，请检查");
// The same for a file of both passes, split in its first half (rounded up) and the rest.
const char* const kCollatedCounts = QT_TRANSLATE_NOOP("VERava", "正面%1，背面%2。");
const char* const kCollatedCountRule =
    QT_TRANSLATE_NOOP("VERava", "正面应等于背面或多1页，请检查");
const char* const kArrangementInvalid =
    QT_TRANSLATE_NOOP("VERava", "要插入空白背面或跳过的页不在文件中：");
const char* const kMerged = QT_TRANSLATE_NOOP("VERava", "文件已经合并，保存在奇数页文件所在位置");
const char* const kMergedPlain = QT_TRANSLATE_NOOP("VERava", "合并后的文件没有加密。");
const char* const kBlankDropped = QT_TRANSLATE_N_NOOP("VERava", "已删除%n页空白页：");
const char* const kNoBlankFound = QT_TRANSLATE_NOOP("VERava", "没有发现空白页。");
const char* const kBlankUnreadable =
    QT_TRANSLATE_N_NOOP("VERava", "以下%n页无法完整查看，已保留：");
// After a page's label: why it was kept, and, with reversed evens, its sheet.
const char* const kDoubtImage = QT_TRANSLATE_NOOP("VERava", "%1（图像无法读取）");
const char* const kDoubtImageOf = QT_TRANSLATE_NOOP("VERava", "%1（%2图像无法读取）");
const char* const kDoubtContent = QT_TRANSLATE_NOOP("VERava", "%1（内容无法解码）");
const char* const kDoubtDrawing = QT_TRANSLATE_NOOP("VERava", "%1（引用的内容缺失）");
const char* const kBackOfSheet = QT_TRANSLATE_NOOP("VERava", "%1（背面 %2）");
const char* const kListSeparator = QT_TRANSLATE_NOOP("VERava", "、");
const char* const kMergeEncrypted =
    QT_TRANSLATE_NOOP("VERava", "文件已加密，无法合并，请先去除密码");
const char* const kMergeUnreadable = QT_TRANSLATE_NOOP("VERava", "文件无法读取或已损坏，无法合并");
const char* const kMergeOutputLocked = QT_TRANSLATE_NOOP("VERava", "无法覆盖已存在的输出文件：");
const char* const kMergeFailed = QT_TRANSLATE_NOOP("VERava", "文件合并失败");
const char* const kOddPageLabel = QT_TRANSLATE_NOOP("VERava", "奇 %1");
const char* const kEvenPageLabel = QT_TRANSLATE_NOOP("VERava", "偶 %1");

// Why a file could not be written, as the system said it.
const char* const kNoSpace = QT_TRANSLATE_NOOP("VERava", "磁盘空间不足");
const char* const kQuota = QT_TRANSLATE_NOOP("VERava", "超出磁盘配额");
const char* const kNoPermission = QT_TRANSLATE_NOOP("VERava", "没有写入权限");
const char* const kReadOnly = QT_TRANSLATE_NOOP("VERava", "磁盘是只读的");
const char* const kTooLarge = QT_TRANSLATE_NOOP("VERava", "文件太大");
const char* const kNoFolder = QT_TRANSLATE_NOOP("VERava", "文件夹不存在");
const char* const kDiskError = QT_TRANSLATE_NOOP("VERava", "磁盘读写出错");
const char* const kNoMemory = QT_TRANSLATE_NOOP("VERava", "内存不足");
const char* const kIsFolder = QT_TRANSLATE_NOOP("VERava", "这是一个文件夹，不是文件");
const char* const kNotRegular = QT_TRANSLATE_NOOP("VERava", "这不是普通文件（可能是管道或设备）");
const char* const kSystemError = QT_TRANSLATE_NOOP("VERava", "系统错误：%1");

// A message box is no place for a thousand pages: the list stops after this many, with "…".
constexpr size_t kListedPages = 40;

QString Tr(const char* source) { return QCoreApplication::translate("VERava", source); }

// A text with a count in it, in the plural form the count takes ("1 page", "2 pages").
QString TrCount(const char* source, size_t count) {
    return QCoreApplication::translate("VERava", source, nullptr, static_cast<int>(count));
}

QString Path(const std::u16string& path) { return QString::fromStdU16String(path); }

// The message, and on a line of its own the file it is about, when there is one.
QString Naming(const QString& message, const std::u16string& path) {
    return path.empty() ? message : message + QLatin1Char('\n') + Path(path);
}

// A page of a merge named in a message: its label, and with the evens scanned last to
// first, an even page's sheet too ("偶 13（背面 4）"), which the user need not work out.
QString NamedPage(PlannedPage page, const WorkflowResult& result) {
    if (!result.evenReversed || page.source != PageSource::Even) return PageLabel(page);
    return Tr(kBackOfSheet)
        .arg(PageLabel(page))
        .arg(SheetOf(page, result.evenPages, result.evenReversed));
}

// A kept page named with why it was kept.
QString KeptPageText(const KeptPage& kept, const WorkflowResult& result) {
    const QString name = NamedPage(kept.page, result);
    switch (kept.doubt) {
        case TPageDoubt::Image:
            return kept.encoding.empty()
                       ? Tr(kDoubtImage).arg(name)
                       : Tr(kDoubtImageOf).arg(name).arg(QString::fromStdString(kept.encoding));
        case TPageDoubt::Content:
            return Tr(kDoubtContent).arg(name);
        case TPageDoubt::Drawing:
            return Tr(kDoubtDrawing).arg(name);
        case TPageDoubt::None:
            break;
    }
    return name;
}

// "奇 2、偶 1、偶 3" (the first kListedPages of them, then "…").
template <typename Page, typename Name>
QString PageList(const std::vector<Page>& pages, Name name) {
    QString list;
    for (size_t k = 0; k < pages.size(); ++k) {
        if (k == kListedPages) return list + QStringLiteral("…");
        if (k > 0) list += Tr(kListSeparator);
        list += name(pages[k]);
    }
    return list;
}

}  // namespace

QString PageLabel(PlannedPage page) {
    return Tr(page.source == PageSource::Odd ? kOddPageLabel : kEvenPageLabel).arg(page.page);
}

QString OpenFailedMessage(const QString& path) {
    return Tr(kOpenFailed) + QLatin1Char('\n') + path;
}

QString FileErrorText(const TFileError& error) {
    switch (error.Problem) {
        case TFileProblem::None:
        case TFileProblem::Cancelled:
            return QString();
        case TFileProblem::Folder:
            return Tr(kIsFolder);
        case TFileProblem::NotRegularFile:
            return Tr(kNotRegular);
        case TFileProblem::System:
            break;
    }
    switch (error.SystemCode) {
        case ENOSPC:
            return Tr(kNoSpace);
        case EDQUOT:
            return Tr(kQuota);
        case EACCES:
        case EPERM:
            return Tr(kNoPermission);
        case EROFS:
            return Tr(kReadOnly);
        case EFBIG:
            return Tr(kTooLarge);
        case ENOENT:
        case ENOTDIR:
            return Tr(kNoFolder);
        case EIO:
            return Tr(kDiskError);
        case ENOMEM:
            return Tr(kNoMemory);
        default:
            return Tr(kSystemError).arg(QString::fromStdString(error.ReasonText()));
    }
}

namespace {

// The message, and on a line of its own what the system said, when it said something.
QString WithReason(const QString& message, const TFileError& error) {
    const QString reason = FileErrorText(error);
    return reason.isEmpty() ? message : message + QLatin1Char('\n') + reason;
}

}  // namespace

QString ReverseMessage(const WorkflowResult& result) {
    const QString failedPath = Path(result.failedPath);
    switch (result.outcome) {
        case WorkflowOutcome::Done:
            return Naming(Tr(kReversed), result.outputPath);
        case WorkflowOutcome::InputMissing:
            return Naming(Tr(kInputMissing), result.failedPath);
        case WorkflowOutcome::PasswordRequired:
            return Naming(Tr(kPasswordRequired), result.failedPath);
        case WorkflowOutcome::SaveFailed:
            return WithReason(Tr(kSaveFailed) + Path(result.outputPath), result.fileError);
        default:
            // OpenFailed; the merge's outcomes do not come from a reverse run.
            return OpenFailedMessage(failedPath);
    }
}

QString MergeMessage(const WorkflowResult& result) {
    switch (result.outcome) {
        case WorkflowOutcome::Done: {
            QString message = Naming(Tr(kMerged), result.outputPath);
            if (result.decrypted) message += QLatin1Char('\n') + Tr(kMergedPlain);
            if (result.blankPagesLookedFor) {
                message += QLatin1Char('\n');
                message += result.dropped.empty() ? Tr(kNoBlankFound)
                                                  : TrCount(kBlankDropped, result.dropped.size()) +
                                                        PageList(result.dropped, [&](auto p) {
                                                            return NamedPage(p, result);
                                                        });
            }
            if (!result.unreadable.empty()) {
                message += QLatin1Char('\n') + TrCount(kBlankUnreadable, result.unreadable.size()) +
                           PageList(result.unreadable, [&](const KeptPage& kept) {
                               return KeptPageText(kept, result);
                           });
            }
            return message;
        }
        case WorkflowOutcome::InputMissing:
            return Naming(Tr(kMergeInputMissing), result.failedPath);
        case WorkflowOutcome::PageCountMismatch:
            return Tr(result.collated ? kCollatedCounts : kMergeCounts)
                       .arg(TrCount(kPageCount, static_cast<size_t>(result.oddPages)),
                            TrCount(kPageCount, static_cast<size_t>(result.evenPages))) +
                   QLatin1Char('\n') + Tr(result.collated ? kCollatedCountRule : kMergeCountRule);
        case WorkflowOutcome::ArrangementInvalid:
            return Naming(Tr(kArrangementInvalid), result.failedPath);
        case WorkflowOutcome::MergeEncrypted:
            return Naming(Tr(kMergeEncrypted), result.failedPath);
        case WorkflowOutcome::MergeUnreadable:
            return Naming(Tr(kMergeUnreadable), result.failedPath);
        case WorkflowOutcome::OutputLocked:
            return Tr(kMergeOutputLocked) + Path(result.failedPath);
        case WorkflowOutcome::MergeFailed:
            return WithReason(result.failedPath.empty() ? Tr(kMergeFailed)
                                                        : Tr(kSaveFailed) + Path(result.failedPath),
                              result.fileError);
        default:
            // A wrong password, or the merged file failed to open or to save: said as for
            // a reverse run.
            return ReverseMessage(result);
    }
}

QString PreviewMessage(const WorkflowResult& result) {
    if (result.outcome == WorkflowOutcome::MergeUnreadable) {
        return OpenFailedMessage(Path(result.failedPath));
    }
    return MergeMessage(result);
}

}  // namespace verava
