// Chinese (Simplified and Traditional), Japanese and Korean rows of the
// language table. Menu accelerators are written in parentheses at the end,
// as these languages do. Slots 8 to 11 (the layout names) stay empty: the
// layouts are named the same in every language, so the English text shows.
#include "app/core/language_rows.h"

namespace kestrel::app::language_rows {

using namespace std::string_view_literals;

const LanguageEntry chinese_simplified = {
    0x0804,
    L"Chinese (简体中文)"sv,
    {{
        L"源文件夹："sv, L"目标："sv, L"卷标："sv, L"文件系统："sv, L"开始"sv,
        L"选择文件夹或将其拖到此处"sv, L"选择输出的 ISO 文件"sv,
        L"卷标，0 到 128 个字符"sv,
        {}, {}, {}, {},
        L"语言(Language)(&L)"sv,
        L"集成到资源管理器右键菜单(&I)"sv,
        L"允许多个实例(&U)"sv,
        L"完成后在资源管理器中显示(&R)"sv,
        L"完成后关闭(&C)"sv,
        L"窗口置顶(&S)"sv,
        L"翻译(&T)"sv,
        L"报告问题(&P)"sv,
        L"命令行(&M)"sv,
        L"关于 Kestrel...(&A)"sv,
        L"主题(&H)"sv, L"浅色(&L)"sv, L"深色(&D)"sv, L"跟随系统(&S)"sv,
        L"“%s”已存在。\n\n要替换它吗？"sv,
        L"ISO 文件 (*.iso)\0*.iso\0\0"sv,
        L"Kestrel 可将文件夹制作为 ISO 9660、UDF 1.02 或 UDF 2.50 光盘映像，"
        L"也支持 DVD-Video 和蓝光电影文件夹（包括 3D）。\n"
        L"本程序为自由软件，不提供任何担保。\n"
        L"翻译：Kestrel 项目"sv,
        L"无法创建映像。"sv,                                        // 29
        L"所选文件系统无效。"sv,
        L"无法打开源文件夹“%s”。"sv,
        L"无法列出文件夹“%s”的内容。"sv,
        L"无法检查项目“%s”。"sv,
        L"无法打开文件“%s”。"sv,
        L"读取文件“%s”失败。"sv,
        L"文件“%s”在创建映像期间变短了。"sv,
        L"文件夹“%s”是指向其自身目录树的链接，无法放入映像。"sv,
        L"无法创建映像文件“%s”。"sv,
        L"写入映像文件“%s”失败。磁盘是否已满？"sv,
        L"无法将完成的映像移动到“%s”。"sv,
        L"内存不足，无法创建映像。"sv,
        L"源中的文件夹数量超过 ISO 9660 卷所能编号的数量。请选择 UDF 文件系统。"sv,
        L"文件“%s”对于所选文件系统过大。"sv,
        L"映像将超过光盘映像所能寻址的大小。"sv,
        L"内部错误：某个结构未写入其布局位置。映像未保留。"sv,
        L"已取消创建。"sv,
        L"Windows 报告：%s"sv,                                       // 47
        L"映像已创建，但有警告："sv,
        L"文件“%s”在创建映像期间变大了;已写入其开始时的大小。"sv,
        L"名称“%s”对于文件系统过长，已被缩短。"sv,
        L"名称“%s”与映像中的另一名称冲突，已改为唯一名称。"sv,
        L"“%s”不是普通文件（管道、套接字或设备）,已跳过。"sv,
        L"链接“%s”指向不存在的目标，已跳过。"sv,
        L"……另有 %s 条。"sv,
        L"此路径对本程序而言过长：\n\n%s"sv,                         // 55
    }},
};

const LanguageEntry chinese_traditional = {
    0x0404,
    L"Chinese (繁體中文)"sv,
    {{
        L"來源："sv, L"目標："sv, L"標籤："sv, L"檔案系統："sv, L"開始"sv,
        L"選取資料夾或將其拖曳至此"sv, L"選取輸出的 ISO 檔案"sv,
        L"磁碟區標籤，0 到 128 個字元"sv,
        {}, {}, {}, {},
        L"語言(Language)(&L)"sv,
        L"整合至檔案總管右鍵選單(&I)"sv,
        L"允許多個執行個體(&U)"sv,
        L"完成後在檔案總管中顯示(&R)"sv,
        L"完成後關閉(&C)"sv,
        L"視窗置頂(&S)"sv,
        L"翻譯(&T)"sv,
        L"回報問題(&P)"sv,
        L"命令列(&M)"sv,
        L"關於 Kestrel...(&A)"sv,
        L"佈景主題(&H)"sv, L"淺色(&L)"sv, L"深色(&D)"sv, L"跟隨系統(&S)"sv,
        L"「%s」已存在。\n\n要取代它嗎？"sv,
        L"ISO 檔案 (*.iso)\0*.iso\0\0"sv,
        L"Kestrel 可將資料夾製作成 ISO 9660、UDF 1.02 或 UDF 2.50 光碟映像檔，"
        L"也支援 DVD-Video 與藍光電影資料夾（包括 3D）。\n"
        L"本程式為自由軟體，不提供任何擔保。\n"
        L"翻譯：Kestrel 專案"sv,
    }},
};

const LanguageEntry japanese = {
    0x0411,
    L"Japanese (日本語)"sv,
    {{
        L"ソース："sv, L"出力先："sv, L"ラベル："sv, L"ファイル システム："sv, L"開始"sv,
        L"フォルダーを選択するか、ここにドラッグします"sv, L"出力する ISO ファイルを選択します"sv,
        L"ボリューム ラベル (0 ～ 128 文字)"sv,
        {}, {}, {}, {},
        L"言語 (Language)(&L)"sv,
        L"シェルのコンテキスト メニューに統合(&I)"sv,
        L"複数のインスタンスを許可(&M)"sv,
        L"完了後にエクスプローラーで表示(&R)"sv,
        L"完了後に閉じる(&C)"sv,
        L"常に手前に表示(&S)"sv,
        L"翻訳(&T)"sv,
        L"問題を報告(&P)"sv,
        L"コマンド ライン(&O)"sv,
        L"Kestrel について...(&A)"sv,
        L"テーマ(&H)"sv, L"ライト(&L)"sv, L"ダーク(&D)"sv, L"システム設定に従う(&S)"sv,
        L"'%s' は既に存在します。\n\n置き換えますか？"sv,
        L"ISO ファイル (*.iso)\0*.iso\0\0"sv,
        L"Kestrel はフォルダーから ISO 9660、UDF 1.02、UDF 2.50 のディスク イメージを作成します。"
        L"DVD-Video や Blu-ray の映画フォルダー (3D を含む) にも対応します。\n"
        L"フリー ソフトウェアであり、一切の保証なしで提供されます。\n"
        L"翻訳：Kestrel プロジェクト"sv,
        L"イメージを作成できませんでした。"sv,
        L"選択されたファイル システムは無効です。"sv,
        L"ソース フォルダー '%s' を開けません。"sv,
        L"フォルダー '%s' の内容を一覧表示できません。"sv,
        L"項目 '%s' を調べられません。"sv,
        L"ファイル '%s' を開けません。"sv,
        L"ファイル '%s' の読み取りに失敗しました。"sv,
        L"イメージの作成中にファイル '%s' が短くなりました。"sv,
        L"フォルダー '%s' は自身のツリーへのリンクのため、イメージに含められません。"sv,
        L"イメージ ファイル '%s' を作成できません。"sv,
        L"イメージ ファイル '%s' の書き込みに失敗しました。ディスクがいっぱいではありませんか？"sv,
        L"完成したイメージを '%s' に移動できません。"sv,
        L"この作成に必要なメモリが足りません。"sv,
        L"ソースのフォルダー数が ISO 9660 ボリュームで番号付けできる数を超えています。UDF ファイル システムを選択してください。"sv,
        L"ファイル '%s' は選択されたファイル システムには大きすぎます。"sv,
        L"イメージがディスク イメージで扱えるサイズを超えてしまいます。"sv,
        L"内部エラー：構造が配置された位置に書き込まれませんでした。イメージは保存されていません。"sv,
        L"作成は取り消されました。"sv,
        L"Windows からの報告：%s"sv,
        L"イメージは作成されましたが、警告があります："sv,
        L"イメージの作成中にファイル '%s' が大きくなりました。開始時のサイズが書き込まれました。"sv,
        L"名前 '%s' はファイル システムには長すぎるため、短縮されました。"sv,
        L"名前 '%s' はイメージ内の別の名前と重なったため、一意の名前に変更されました。"sv,
        L"'%s' は通常のファイルではない (パイプ、ソケット、デバイス) ため、除外されました。"sv,
        L"リンク '%s' はどこも指していないため、除外されました。"sv,
        L"...ほか %s 件。"sv,
        L"このパスはプログラムには長すぎます：\n\n%s"sv,
    }},
};

const LanguageEntry korean = {
    0x0412,
    L"Korean (한국어)"sv,
    {{
        L"원본:"sv, L"대상:"sv, L"레이블:"sv, L"파일 시스템:"sv, L"시작"sv,
        L"폴더를 선택하거나 여기로 끌어 놓으세요"sv, L"출력 ISO 파일을 선택하세요"sv,
        L"볼륨 레이블, 0~128자"sv,
        {}, {}, {}, {},
        L"언어(Language)(&L)"sv,
        L"셸 바로 가기 메뉴에 통합(&I)"sv,
        L"여러 인스턴스 허용(&M)"sv,
        L"완료되면 탐색기에서 표시(&R)"sv,
        L"완료되면 닫기(&C)"sv,
        L"항상 위에 표시(&S)"sv,
        L"번역(&T)"sv,
        L"문제 보고(&P)"sv,
        L"명령줄(&O)"sv,
        L"Kestrel 정보...(&A)"sv,
        L"테마(&H)"sv, L"밝게(&L)"sv, L"어둡게(&D)"sv, L"시스템 설정(&S)"sv,
        L"'%s'이(가) 이미 있습니다.\n\n바꾸시겠습니까?"sv,
        L"ISO 파일 (*.iso)\0*.iso\0\0"sv,
        L"Kestrel은 폴더로부터 ISO 9660, UDF 1.02 또는 UDF 2.50 디스크 이미지를 만듭니다. "
        L"DVD-Video 및 Blu-ray 영화 폴더(3D 포함)도 지원합니다.\n"
        L"자유 소프트웨어이며 어떠한 보증도 없이 제공됩니다.\n"
        L"번역: Kestrel 프로젝트"sv,
    }},
};

}  // namespace kestrel::app::language_rows
