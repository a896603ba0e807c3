<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>VERava</name>
    <message>
        <source>PDF文件 (*.pdf)</source>
        <translation>PDF files (*.pdf)</translation>
    </message>
    <message>
        <source>扫描PDF文件奇偶合并器            Orvane_harrow88</source>
        <translation>Scanned PDF odd/even page merger            Orvane_harrow88</translation>
    </message>
    <message>
        <source>奇数页文件：</source>
        <translation>Odd pages:</translation>
    </message>
    <message>
        <source>偶数页文件：</source>
        <translation>Even pages:</translation>
    </message>
    <message>
        <source>请先选择文件，或者选择的文件不存在！</source>
        <translation>Choose a file first, or the chosen file does not exist!</translation>
    </message>
    <message>
        <source>文件已经重排，请查看后重新选择</source>
        <translation>The pages have been reversed. Check the copy, then choose the next file</translation>
    </message>
    <message>
        <source>文件无法打开，可能不是PDF文件或已损坏</source>
        <translation>The file cannot be opened: it may not be a PDF file, or it is damaged</translation>
    </message>
    <message>
        <source>文件已加密，需要密码才能打开</source>
        <translation>The file is encrypted and needs a password to open</translation>
    </message>
    <message>
        <source>文件保存失败：</source>
        <translation>Could not save the file: </translation>
    </message>
    <message>
        <source>奇数页文件或偶数页文件不存在</source>
        <translation>The odd-page file or the even-page file does not exist</translation>
    </message>
    <message>
        <source>奇数页应等于偶数页或多1页，请检查</source>
        <translation>The odd pages must equal the even pages or be one more; please check</translation>
    </message>
    <message>
        <source>文件已经合并，保存在奇数页文件所在位置</source>
        <translation>The files have been merged; the result is in the odd-page file&apos;s folder</translation>
    </message>
    <message>
        <source>合并后的文件没有加密。</source>
        <translation>The merged file is not encrypted.</translation>
    </message>
    <message>
        <source>文件已加密，无法合并，请先去除密码</source>
        <translation>A file is encrypted and cannot be merged; remove its password first</translation>
    </message>
    <message>
        <source>文件无法读取或已损坏，无法合并</source>
        <translation>A file cannot be read or is damaged; it cannot be merged</translation>
    </message>
    <message>
        <source>无法覆盖已存在的输出文件：</source>
        <translation>Cannot replace the existing output file: </translation>
    </message>
    <message>
        <source>文件合并失败</source>
        <translation>Merging failed</translation>
    </message>
    <message>
        <source>一次只能拖入一个或两个PDF文件</source>
        <translation>Drop one or two PDF files at a time</translation>
    </message>
    <message>
        <source>没有程序可以打开：</source>
        <translation>No program can open: </translation>
    </message>
    <message>
        <source>密码错误，请重新输入：</source>
        <translation>Wrong password. Enter it again:</translation>
    </message>
    <message>
        <source>文件已加密，请输入密码：</source>
        <translation>The file is encrypted. Enter its password:</translation>
    </message>
    <message>
        <source>预览顺序</source>
        <translation>Preview order</translation>
    </message>
    <message>
        <source>没有发现空白页。</source>
        <translation>No blank pages found.</translation>
    </message>
    <message>
        <source>%1（图像无法读取）</source>
        <translation>%1 (an image cannot be read)</translation>
    </message>
    <message>
        <source>%1（%2图像无法读取）</source>
        <translation>%1 (a %2 image cannot be read)</translation>
    </message>
    <message>
        <source>%1（内容无法解码）</source>
        <translation>%1 (its content cannot be decoded)</translation>
    </message>
    <message>
        <source>%1（引用的内容缺失）</source>
        <translation>%1 (it draws something missing)</translation>
    </message>
    <message>
        <source>%1（背面 %2）</source>
        <translation>%1 (back of sheet %2)</translation>
    </message>
    <message>
        <source>奇 %1</source>
        <translation>odd %1</translation>
    </message>
    <message>
        <source>偶 %1</source>
        <translation>even %1</translation>
    </message>
    <message numerus="yes">
        <source>合并后共%n页</source>
        <translation>
            <numerusform>%n page after merging</numerusform>
            <numerusform>%n pages after merging</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>（删除%n页空白页）</source>
        <translation>
            <numerusform> (%n blank page left out)</numerusform>
            <numerusform> (%n blank pages left out)</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 删除</source>
        <translation>%1 left out</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>正在处理文件。要停止吗？正在写入的文件会被丢弃，已有的同名文件保持不变。</source>
        <translation>Still working on the files. Stop now? The file being written is discarded; an existing file of that name stays as it was.</translation>
    </message>
    <message>
        <source>磁盘空间不足</source>
        <translation>There is no space left on the disk</translation>
    </message>
    <message>
        <source>超出磁盘配额</source>
        <translation>The disk quota is exceeded</translation>
    </message>
    <message>
        <source>没有写入权限</source>
        <translation>There is no permission to write there</translation>
    </message>
    <message>
        <source>磁盘是只读的</source>
        <translation>The disk is read-only</translation>
    </message>
    <message>
        <source>文件太大</source>
        <translation>The file is too large</translation>
    </message>
    <message>
        <source>文件夹不存在</source>
        <translation>The folder does not exist</translation>
    </message>
    <message>
        <source>磁盘读写出错</source>
        <translation>The disk reported an error</translation>
    </message>
    <message>
        <source>内存不足</source>
        <translation>There is not enough memory</translation>
    </message>
    <message>
        <source>这是一个文件夹，不是文件</source>
        <translation>That is a folder, not a file</translation>
    </message>
    <message>
        <source>这不是普通文件（可能是管道或设备）</source>
        <translation>That is not a regular file (a pipe or a device, perhaps)</translation>
    </message>
    <message>
        <source>系统错误：%1</source>
        <translation>System error: %1</translation>
    </message>
    <message>
        <source>选择(&amp;O)</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>选择(&amp;E)</source>
        <translation>Op&amp;en</translation>
    </message>
    <message>
        <source>开始合并(&amp;M)</source>
        <translation>&amp;Merge</translation>
    </message>
    <message>
        <source>逆序重排(&amp;R)</source>
        <translation>&amp;Reverse</translation>
    </message>
    <message>
        <source>逆序重排(&amp;V)</source>
        <translation>Re&amp;verse</translation>
    </message>
    <message>
        <source>偶数页为倒序扫描(&amp;L)</source>
        <translation>Even pages scanned &amp;last to first</translation>
    </message>
    <message>
        <source>预览顺序(&amp;P)</source>
        <translation>&amp;Preview order</translation>
    </message>
    <message>
        <source>删除空白页(&amp;B)</source>
        <translation>Remove &amp;blank pages</translation>
    </message>
    <message>
        <source>停止(&amp;S)</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>输出文件已存在，要替换吗？</source>
        <translation>The output file already exists. Replace it?</translation>
    </message>
    <message>
        <source>奇数页文件和偶数页文件是同一个文件，仍要合并吗？</source>
        <translation>The odd-page file and the even-page file are the same file. Merge it with itself anyway?</translation>
    </message>
    <message numerus="yes">
        <source>一次只能打开一个或两个PDF文件，以下%n个文件没有打开：</source>
        <translation>
            <numerusform>Only one or two PDF files open at a time; this file was not opened:</numerusform>
            <numerusform>Only one or two PDF files open at a time; these %n files were not opened:</numerusform>
        </translation>
    </message>
    <message>
        <source>打开文件夹(&amp;F)</source>
        <translation>Open &amp;folder</translation>
    </message>
    <message>
        <source>打开文件(&amp;O)</source>
        <translation>&amp;Open file</translation>
    </message>
    <message>
        <source>合并(&amp;M)</source>
        <translation>&amp;Merge</translation>
    </message>
    <message>
        <source>关闭(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>奇数页文件%1，偶数页文件%2。</source>
        <translation>The odd-page file has %1, the even-page file %2.</translation>
    </message>
    <message numerus="yes">
        <source>%n页</source>
        <translation>
            <numerusform>%n page</numerusform>
            <numerusform>%n pages</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>已删除%n页空白页：</source>
        <translation>
            <numerusform>Removed %n blank page: </numerusform>
            <numerusform>Removed %n blank pages: </numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>以下%n页无法完整查看，已保留：</source>
        <translation>
            <numerusform>Kept %n page that could not be looked at in full: </numerusform>
            <numerusform>Kept %n pages that could not be looked at in full: </numerusform>
        </translation>
    </message>
    <message>
        <source>正反两面在一个文件中(&amp;T)</source>
        <translation>Bo&amp;th passes in one file</translation>
    </message>
    <message>
        <source>背面上下颠倒(&amp;U)</source>
        <translation>Backs &amp;upside down</translation>
    </message>
    <message>
        <source>扫描软件把第二遍（背面）接在第一遍（正面）之后存成了一个文件：选择它作为奇数页文件</source>
        <translation>The scan app saved the second pass (the backs) after the first (the fronts) in one file: choose it as the odd-page file</translation>
    </message>
    <message>
        <source>纸叠沿短边翻转后扫描背面：背面旋转180度</source>
        <translation>The stack was turned over on its short edge for the backs: they are turned 180 degrees</translation>
    </message>
    <message>
        <source>正面%1，背面%2。</source>
        <translation>Fronts: %1, backs: %2.</translation>
    </message>
    <message>
        <source>正面应等于背面或多1页，请检查</source>
        <translation>There must be as many fronts as backs, or one more. Please check.</translation>
    </message>
    <message>
        <source>要插入空白背面或跳过的页不在文件中：</source>
        <translation>A blank back or a page to leave out is not in the file:</translation>
    </message>
    <message numerus="yes">
        <source>正面%n页</source>
        <translation>
            <numerusform>%n front</numerusform>
            <numerusform>%n fronts</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>背面%n页</source>
        <translation>
            <numerusform>%n back</numerusform>
            <numerusform>%n backs</numerusform>
        </translation>
    </message>
    <message>
        <source>%1，%2：正面应与背面一样多或多1页。请在缺背面的张插入空白背面，或跳过多出的页，才能合并。</source>
        <translation>%1 and %2: there must be as many fronts as backs, or one more. Put in a blank back on the sheet whose back is missing, or leave out a page too many, to merge.</translation>
    </message>
    <message>
        <source>第 %1 张</source>
        <translation>Sheet %1</translation>
    </message>
    <message>
        <source>空白背面</source>
        <translation>blank back</translation>
    </message>
    <message>
        <source>已跳过：%1</source>
        <translation>Left out: %1</translation>
    </message>
    <message>
        <source>跳过</source>
        <translation>Leave out</translation>
    </message>
    <message>
        <source>在此插入空白背面</source>
        <translation>Blank back here</translation>
    </message>
    <message>
        <source>移除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>恢复(&amp;R)</source>
        <translation>&amp;Restore</translation>
    </message>
    <message>
        <source>背面上下颠倒（短边翻转）(&amp;U)</source>
        <translation>Backs &amp;upside down (turned on the short edge)</translation>
    </message>
</context>
</TS>
