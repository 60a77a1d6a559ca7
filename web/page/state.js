// What the page knows and decides, without a hand on the page itself: the
// texts, the run under way, the checks of a chosen file and what a result
// means for the person holding this device. The view shows it; the run
// (app.js) ties the two together.
const pageState = (() => {
  // The texts the window shows for the same events. The first three are the
  // engine's own, filled in from its headers when the page is built.
  const texts = {
    emptySource: '@text:kEmptySourceAlert@',
    notVCard: '@text:kNotVCardAlert@',
    failedLog: '@text:kFailedLog@',
    converting: '変換処理中・・・\n',
    noFileName: 'ファイルが選ばれていません',
    dropRefused: 'ドロップできるのは vCard ファイル（.vcf）1つだけです。',
    workerFailed: '変換処理を開始できませんでした。ページを読み込み直してから、もう一度お試しください。',
    noCardFound: 'vCard のカードが見つかりませんでした',
    noCardWritten: '書き出せるカードがありませんでした。',
    openedFromDisk: 'このページはファイルから直接開くと変換できません。Web サーバーから開くか、' +
        '1つのファイルにまとめた版（pc-iphone-vcard-converter.html）をお使いください。',
  };

  // The file chosen last, by the file button or by a drop, and whether a
  // run is under way.
  const run = {chosenFile: null, running: false};

  // A size and its unit are joined by a no-break space, so a line never
  // ends between them.
  function formatSize(bytes) {
    if (bytes < 1024) return bytes + '\u00a0バイト';
    if (bytes < 1024 * 1024) return (bytes / 1024).toFixed(1) + '\u00a0KB';
    return (bytes / (1024 * 1024)).toFixed(1) + '\u00a0MB';
  }

  function fileLine(file) {
    return file ? file.name + '（' + formatSize(file.size) + '）' : texts.noFileName;
  }

  function hasVCardExtension(name) {
    return /\.vcf$/i.test(name);
  }

  // The drop rule of the window: exactly one file, named *.vcf in any case.
  // More than one is refused even when all are vCard files: one conversion
  // takes one source.
  function acceptsDroppedFiles(files) {
    return files.length === 1 && hasVCardExtension(files[0].name);
  }

  // Why the file cannot be converted, as the window's alert says it; null
  // when it can.
  function refusalOf(file) {
    if (!file) return texts.emptySource;
    if (!hasVCardExtension(file.name)) return texts.notVCard;
    return null;
  }

  // The window's runHeading names the path; a browser gives only the file's
  // own name, so it stands there once.
  function runHeading(name) {
    return '■ ' + name + '\n';
  }

  // A property's name with hyphens ("X-MS-IMADDRESS") and a count with its
  // unit (「）12件」, 「3件目」, 「4個」): the report is plain text, so the page
  // keeps each of them whole on its line itself.
  const kUnbroken = /[A-Za-z][A-Za-z0-9]*(?:[-.][A-Za-z0-9]+)+|）?\d[\d,]*(?:件目|件|個)/g;

  // The report as pieces, each {text, whole}: whole pieces must not break.
  function reportPieces(text) {
    const pieces = [];
    let at = 0;
    for (const match of text.matchAll(kUnbroken)) {
      if (match.index > at) pieces.push({text: text.slice(at, match.index), whole: false});
      pieces.push({text: match[0], whole: true});
      at = match.index + match[0].length;
    }
    if (at < text.length) pieces.push({text: text.slice(at), whole: false});
    return pieces;
  }

  // What the progress area says for a message of the worker, and the share
  // done when one is known: a stage alone (the engine loading, the
  // conversion starting) leaves the bar indeterminate; the engine's own
  // progress gives it a share.
  function stageOf(message, size) {
    if (typeof message.share !== 'number') {
      return {text: message.stage === 'loading' ? '変換の準備中…' : convertingText(size)};
    }
    if (message.stage === 'reading') return {text: '読み込み中…（' + formatSize(size) + '）', share: message.share};
    if (message.stage === 'photos') return {text: '写真を縮小中…', share: message.share};
    if (message.card > 0) return {text: message.card.toLocaleString('ja-JP') + '件目を変換中…', share: message.share};
    return {text: convertingText(size), share: message.share};
  }

  function convertingText(size) {
    return '変換中…（' + formatSize(size) + '）';
  }

  // The files worth offering: a run that wrote no card has nothing worth
  // saving, whatever bytes the engine handed back (a file of its byte-order
  // mark alone).
  function outputsOf(doc, outputs) {
    return doc.outCount > 0 ? outputs || [] : [];
  }

  // Why a run wrote no card: none was found, or each one found was left out
  // for the reasons the report gives.
  function noOutputReason(doc) {
    const reasons = [];
    for (const card of doc.skippedCards || []) {
      if (card.message && !reasons.includes(card.message)) reasons.push(card.message);
    }
    if (reasons.length === 0) return texts.noCardFound;
    return [texts.noCardWritten].concat(reasons).join('\n');
  }

  // Where the person holding this device goes next; a phone or tablet is
  // told how to add the contacts right there.
  function deviceKind(agent, touchPoints) {
    // iPadOS reports itself as a Mac; only its touch screen tells it apart.
    if (/iPhone|iPad|iPod/.test(agent) || (/Macintosh/.test(agent) && touchPoints > 1)) return 'ios';
    if (/Android/.test(agent)) return 'android';
    return 'desktop';
  }

  // The next steps, written with "|" where a line may end: the view keeps
  // each phrase between two marks whole.
  const kICloudFromPC = 'iCloud.com 用の|ファイルは、|PC の|ブラウザーで iCloud.com の|「連絡先」から|読み込むための|ものです。';
  const kNextSteps = {
    ios: {
      iphone: ['リンクを|押して|保存したら、|「ファイル」アプリの|「ダウンロード」で|このファイルを|開き、|' +
                   '表示された|連絡先を|すべて|追加してください。',
               'ボタンの|名前や|場所は iOS の|バージョンによって|異なることが|あります。'],
      icloud: [kICloudFromPC,
               'この iPhone・iPad で|そのまま|連絡先に|追加するときは、|書き出す|形式を|「iPhone で開く」に|して|' +
                   '変換し直してください。'],
    },
    android: {
      iphone: ['リンクを|押して|保存したら、|通知や|ファイルアプリから|このファイルを|開き、|' +
                   '「連絡帳」（連絡先）|アプリで|読み込んでください。',
               '開けないときは、|連絡帳アプリの|メニューの|「インポート」から|このファイルを|選びます。|' +
                   'メニューの|名前は|機種によって|異なります。'],
      icloud: [kICloudFromPC,
               'この端末の|連絡帳に|追加するときは、|書き出す|形式を|「iPhone で開く」に|して|変換し直してください。'],
    },
    desktop: {
      iphone: ['リンクを|押して|保存し、|iPhone に|送ってください。|メールに|添付して|自分に|送るか、|' +
                   'Mac からは AirDrop でも|送れます。|iPhone で|ファイルを|開くと、|連絡先に|追加できます。',
               'ファイルを|送る|手段が|ないときは、|書き出す|形式を|「iCloud.com に読み込む」に|して|変換し、|' +
                   'iCloud.com から|読み込めます。'],
      icloud: ['リンクを|押して|保存したら、|このブラウザーで iCloud.com に|サインインして|「連絡先」を|開き、|' +
                   'メニュー（「＋」や|歯車の|ボタン）から vCard の|読み込みを|選んで、|このファイルを|' +
                   '選んでください|（分かれたときは 1 つずつ）。',
               'iPhone の|「設定」→ 自分の名前 →|「iCloud」で|「連絡先」が|オンなら、|iPhone にも|届きます。'],
    },
  };

  function nextSteps(kind, target) {
    return kNextSteps[kind][target] || kNextSteps.desktop.iphone;
  }

  return {texts, run, formatSize, fileLine, acceptsDroppedFiles, refusalOf, runHeading, reportPieces,
          stageOf, convertingText, outputsOf, noOutputReason, deviceKind, nextSteps};
})();
