// The converter page: the window's flow (source checks, run heading, log,
// alerts, result) in the browser. The engine runs in a worker so that the page
// keeps answering while a large file is converted; nothing leaves the browser.
'use strict';

(function () {
  // The texts the window shows for the same events. The first three are the
  // engine's own, filled in from its headers when the page is built.
  const kEmptySourceAlert = '@text:kEmptySourceAlert@';
  const kNotVCardAlert = '@text:kNotVCardAlert@';
  const kFailedLog = '@text:kFailedLog@';
  const kConvertingLine = '変換処理中・・・\n';
  const kNoFileName = 'ファイルが選ばれていません';
  const kDropRefused = 'ドロップできるのは vCard ファイル（.vcf）1つだけです。';
  const kWorkerFailed = '変換処理を開始できませんでした。ページを読み込み直してから、もう一度お試しください。';
  const kNoCardFound = 'vCard のカードが見つかりませんでした';
  const kNoCardWritten = '書き出せるカードがありませんでした。';
  const kOpenedFromDisk = 'このページはファイルから直接開くと変換できません。Web サーバーから開くか、' +
      '1つのファイルにまとめた版（pc-iphone-vcard-converter.html）をお使いください。';

  const $ = (id) => document.getElementById(id);

  const form = $('convert-form');
  const fileInput = $('source-file');
  const fileNameLine = $('file-name');
  const dropArea = $('drop-area');
  const dropNote = $('drop-note');
  const carrierChoice = $('carrier');
  const startButton = $('start');
  const progressArea = $('progress-area');
  const progressBar = $('progress');
  const progressText = $('progress-text');
  const downloads = $('downloads');
  const downloadList = $('download-list');
  const nextStep = $('next-step');
  const noOutput = $('no-output');
  const noOutputText = $('no-output-text');
  const log = $('log');
  const alertDialog = $('alert');
  const alertText = $('alert-text');
  const alertOk = $('alert-ok');

  // The file chosen last, by the file button or by a drop.
  let chosenFile = null;
  let running = false;
  let worker = null;
  let workerUrl = null;
  // The engine's module as the first worker compiled it, handed to every
  // later one (a worker is ended after each run).
  let compiledEngine = null;
  let downloadUrls = [];

  // ---- source file -------------------------------------------------------

  // A size and its unit are joined by a no-break space, so a line never
  // ends between them.
  function formatSize(bytes) {
    if (bytes < 1024) return bytes + '\u00a0バイト';
    if (bytes < 1024 * 1024) return (bytes / 1024).toFixed(1) + '\u00a0KB';
    return (bytes / (1024 * 1024)).toFixed(1) + '\u00a0MB';
  }

  function setFile(file) {
    // The links of the previous run belong to the file chosen before.
    if (file !== chosenFile) clearResult();
    chosenFile = file;
    if (file) prepareEngine();
    fileNameLine.textContent = file ? file.name + '（' + formatSize(file.size) + '）' : kNoFileName;
    fileNameLine.classList.toggle('chosen', Boolean(file));
  }

  // The drop rule of the window: exactly one file, named *.vcf in any case.
  // More than one is refused even when all are vCard files: one conversion
  // takes one source.
  function acceptsDroppedFiles(files) {
    return files.length === 1 && hasVCardExtension(files[0].name);
  }

  function hasVCardExtension(name) {
    return /\.vcf$/i.test(name);
  }

  function openChooser() {
    if (!running) fileInput.click();
  }

  fileInput.addEventListener('change', () => {
    dropNote.textContent = '';
    // Cancelling the chooser keeps the file chosen before.
    if (fileInput.files.length > 0) setFile(fileInput.files[0]);
  });

  dropArea.addEventListener('click', openChooser);
  dropArea.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' || event.key === ' ') {
      event.preventDefault();
      openChooser();
    }
  });

  function setDropSign(on) {
    dropArea.classList.toggle('drop-sign', on);
  }

  // While dragging, only the number of items is known, not their names.
  dropArea.addEventListener('dragenter', (event) => {
    event.preventDefault();
    setDropSign(event.dataTransfer.items.length === 1);
  });
  dropArea.addEventListener('dragover', (event) => {
    event.preventDefault();
    event.dataTransfer.dropEffect = event.dataTransfer.items.length === 1 ? 'copy' : 'none';
  });
  dropArea.addEventListener('dragleave', (event) => {
    if (!dropArea.contains(event.relatedTarget)) setDropSign(false);
  });
  dropArea.addEventListener('drop', (event) => {
    event.preventDefault();
    setDropSign(false);
    if (running) return;
    const files = event.dataTransfer.files;
    if (!acceptsDroppedFiles(files)) {
      dropNote.textContent = kDropRefused;
      return;
    }
    dropNote.textContent = '';
    // The file input would still name the previous choice; clear it so the
    // chooser and the drop do not disagree.
    fileInput.value = '';
    setFile(files[0]);
  });

  // A file dropped beside the drop area would make the browser open it in
  // place of this page, losing the log.
  for (const type of ['dragover', 'drop']) {
    window.addEventListener(type, (event) => {
      if (!dropArea.contains(event.target)) {
        event.preventDefault();
        if (event.dataTransfer) event.dataTransfer.dropEffect = 'none';
      }
    });
  }

  // ---- log and alerts ----------------------------------------------------

  // Each run is a block of the log, so that the page can bring the run just
  // finished into view, heading first, however long the log has grown.
  let currentRun = null;

  function startRun(name) {
    currentRun = document.createElement('span');
    currentRun.className = 'run';
    const heading = document.createElement('span');
    heading.className = 'run-heading';
    heading.textContent = runHeading(name);
    currentRun.append(heading);
    log.append(currentRun);
    log.scrollTop = log.scrollHeight;
  }

  function appendLog(text) {
    (currentRun || log).append(text);
    log.scrollTop = log.scrollHeight;
  }

  // A property's name with hyphens ("X-MS-IMADDRESS") and a count with its
  // unit (「）12件」, 「3件目」, 「4個」): the report is plain text, so the page
  // keeps each of them whole on its line itself. Text nodes only: card
  // names come from the file.
  const kUnbroken = /[A-Za-z][A-Za-z0-9]*(?:[-.][A-Za-z0-9]+)+|）?\d[\d,]*(?:件目|件|個)/g;

  function appendReport(text) {
    const block = document.createDocumentFragment();
    let at = 0;
    for (const match of text.matchAll(kUnbroken)) {
      if (match.index > at) block.append(text.slice(at, match.index));
      const whole = document.createElement('span');
      whole.className = 'nowrap';
      whole.textContent = match[0];
      block.append(whole);
      at = match.index + match[0].length;
    }
    if (at < text.length) block.append(text.slice(at));
    appendLog(block);
  }

  // The window's runHeading names the path; a browser gives only the file's
  // own name, so it stands there once.
  function runHeading(name) {
    return '■ ' + name + '\n';
  }

  // Scrolls the log and the page so that the run's heading is at the top,
  // with its text, its report and the result after it below.
  function showRun() {
    if (!currentRun) return;
    log.scrollTop = currentRun.offsetTop;
    const top = currentRun.getBoundingClientRect().top;
    window.scrollBy(0, top - 8);
  }

  let alertClosed = null;

  // Shows the text in the page's own modal dialog and resolves once it is
  // dismissed, as the window's alert holds the run until it is answered.
  function showAlert(text) {
    clearResult();
    alertText.textContent = text;
    return new Promise((resolve) => {
      alertClosed = resolve;
      alertDialog.showModal();
      alertOk.focus();
    });
  }

  alertOk.addEventListener('click', () => alertDialog.close());
  alertDialog.addEventListener('close', () => {
    const resolve = alertClosed;
    alertClosed = null;
    if (resolve) resolve();
  });

  // ---- progress ----------------------------------------------------------

  function showProgress(text, fraction) {
    progressArea.hidden = false;
    progressText.textContent = text;
    if (fraction === undefined) {
      progressBar.removeAttribute('value');
    } else {
      progressBar.max = 1;
      progressBar.value = fraction;
    }
  }

  // What the worker is doing: a stage alone (the engine loading, the
  // conversion starting) leaves the bar indeterminate; the engine's own
  // progress gives it a share.
  function showStage(message, size) {
    if (typeof message.share !== 'number') {
      showProgress(message.stage === 'loading' ? '変換の準備中…' : '変換中…（' + formatSize(size) + '）');
    } else if (message.stage === 'reading') {
      showProgress('読み込み中…（' + formatSize(size) + '）', message.share);
    } else if (message.stage === 'photos') {
      showProgress('写真を縮小中…', message.share);
    } else if (message.card > 0) {
      showProgress(message.card.toLocaleString('ja-JP') + '件目を変換中…', message.share);
    } else {
      showProgress('変換中…（' + formatSize(size) + '）', message.share);
    }
  }

  function hideProgress() {
    progressArea.hidden = true;
    progressText.textContent = '';
    progressBar.removeAttribute('value');
  }

  function setRunning(on) {
    running = on;
    startButton.disabled = on;
    fileInput.disabled = on;
    dropArea.setAttribute('aria-disabled', on ? 'true' : 'false');
    form.setAttribute('aria-busy', on ? 'true' : 'false');
  }

  // ---- downloads ---------------------------------------------------------

  function clearResult() {
    for (const url of downloadUrls) URL.revokeObjectURL(url);
    downloadUrls = [];
    downloadList.replaceChildren();
    downloads.hidden = true;
    noOutput.hidden = true;
    noOutputText.textContent = '';
  }

  // Why a run wrote no card: none was found, or each one found was left out
  // for the reasons the report gives.
  function noOutputReason(doc) {
    const reasons = [];
    for (const card of doc.skippedCards || []) {
      if (card.message && !reasons.includes(card.message)) reasons.push(card.message);
    }
    if (reasons.length === 0) return kNoCardFound;
    return [kNoCardWritten].concat(reasons).join('\n');
  }

  // Where the person holding this device goes next; a phone or tablet is
  // told how to add the contacts right there.
  function deviceKind() {
    const agent = navigator.userAgent || '';
    // iPadOS reports itself as a Mac; only its touch screen tells it apart.
    if (/iPhone|iPad|iPod/.test(agent) ||
        (/Macintosh/.test(agent) && navigator.maxTouchPoints > 1)) {
      return 'ios';
    }
    if (/Android/.test(agent)) return 'android';
    return 'desktop';
  }

  const kNextSteps = {
    ios: {
      iphone: ['リンクを押して保存したら、「ファイル」アプリの「ダウンロード」でこのファイルを開き、' +
                   '表示された連絡先をすべて追加してください。',
               'ボタンの名前や場所は iOS のバージョンによって異なることがあります。'],
      icloud: ['iCloud.com 用のファイルは、PC のブラウザーで iCloud.com の「連絡先」から読み込むためのものです。',
               'この iPhone・iPad でそのまま連絡先に追加するときは、書き出す形式を「iPhone で開く」にして' +
                   '変換し直してください。'],
    },
    android: {
      iphone: ['リンクを押して保存したら、通知やファイルアプリからこのファイルを開き、' +
                   '「連絡帳」（連絡先）アプリで読み込んでください。',
               '開けないときは、連絡帳アプリのメニューの「インポート」からこのファイルを選びます。' +
                   'メニューの名前は機種によって異なります。'],
      icloud: ['iCloud.com 用のファイルは、PC のブラウザーで iCloud.com の「連絡先」から読み込むためのものです。',
               'この端末の連絡帳に追加するときは、書き出す形式を「iPhone で開く」にして変換し直してください。'],
    },
    desktop: {
      iphone: ['リンクを押して保存し、iPhone に送ってください。メールに添付して自分に送るか、' +
                   'Mac からは AirDrop でも送れます。iPhone でファイルを開くと、連絡先に追加できます。',
               'ファイルを送る手段がないときは、書き出す形式を「iCloud.com に読み込む」にして変換し、' +
                   'iCloud.com から読み込めます。'],
      icloud: ['リンクを押して保存したら、このブラウザーで iCloud.com にサインインして「連絡先」を開き、' +
                   'メニュー（「＋」や歯車のボタン）から vCard の読み込みを選んで、このファイルを選んでください' +
                   '（分かれたときは 1 つずつ）。',
               'iPhone の「設定」→ 自分の名前 →「iCloud」で「連絡先」がオンなら、iPhone にも届きます。'],
    },
  };

  function showNextStep(target) {
    const steps = kNextSteps[deviceKind()][target] || kNextSteps.desktop.iphone;
    nextStep.replaceChildren(...steps.map((text) => {
      const line = document.createElement('p');
      line.textContent = text;
      return line;
    }));
  }

  function offerDownloads(outputs, target) {
    outputs.forEach((output, i) => {
      const blob = output.blob;
      const url = URL.createObjectURL(blob);
      downloadUrls.push(url);
      const link = document.createElement('a');
      link.id = 'download-' + i;
      link.className = 'download-link';
      link.href = url;
      link.download = output.name;
      link.dataset.size = String(blob.size);
      const name = document.createElement('span');
      name.className = 'download-name';
      name.textContent = output.name;
      const size = document.createElement('span');
      size.className = 'download-size';
      size.textContent = '保存（' + formatSize(blob.size) + '）';
      link.append(name, size);
      const item = document.createElement('li');
      item.append(link);
      downloadList.append(item);
    });
    showNextStep(target);
    downloads.hidden = outputs.length === 0;
  }

  // ---- the worker --------------------------------------------------------

  // The worker is made from a blob so that it runs under this page's
  // Content-Security-Policy. The single-file page carries the engine and the
  // worker as text; the static folder has them as files beside this one.
  function workerSource() {
    const engine = $('engine-source');
    if (engine) return [embeddedText(engine), '\n;\n', embeddedText($('worker-source'))];
    const engineUrl = new URL('vcard-engine.js', document.baseURI).href;
    const workerScriptUrl = new URL('worker.js', document.baseURI).href;
    return ['importScripts(' + JSON.stringify(engineUrl) + ', ' + JSON.stringify(workerScriptUrl) + ');\n'];
  }

  // Text kept in a non-running script element; base64 when the text itself
  // held a sequence that would have ended the element early.
  function embeddedText(element) {
    if (element.dataset.encoding !== 'base64') return element.textContent;
    const binary = atob(element.textContent.trim());
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
    return new TextDecoder().decode(bytes);
  }

  function startWorker() {
    if (worker) return worker;
    workerUrl = URL.createObjectURL(new Blob(workerSource(), {type: 'text/javascript'}));
    worker = new Worker(workerUrl);
    worker.addEventListener('message', (event) => {
      if (event.data && event.data.type === 'compiled') compiledEngine = event.data.module;
    });
    return worker;
  }

  // Has the worker load the engine ahead of the run.
  function prepareEngine() {
    try {
      const w = startWorker();
      if (!w.prepared) {
        w.prepared = true;
        // A worker that cannot start (its scripts refused) is dropped
        // between runs, so that the run starts one of its own and says why;
        // during a run, the run's own handler tells it.
        w.addEventListener('error', (event) => {
          if (worker !== w || running) return;
          event.preventDefault();
          dropWorker();
        });
      }
      w.postMessage({type: 'load', module: compiledEngine});
    } catch (e) {
      // The run will start the worker again and say what failed.
    }
  }

  // A worker that failed may hold a broken engine; the next run starts afresh.
  function dropWorker() {
    if (worker) worker.terminate();
    if (workerUrl) URL.revokeObjectURL(workerUrl);
    worker = null;
    workerUrl = null;
  }

  // The worker reads the file itself, a slice at a time: the page never
  // holds its bytes.
  function convertInWorker(file, target, carrier) {
    const size = file.size;
    return new Promise((resolve, reject) => {
      let w;
      try {
        w = startWorker();
      } catch (e) {
        reject(new Error(kWorkerFailed));
        return;
      }
      const finish = () => {
        w.onmessage = null;
        w.onerror = null;
      };
      w.onmessage = (event) => {
        const message = event.data;
        if (message.type === 'progress') {
          showStage(message, size);
        } else if (message.type === 'read-for-me') {
          // The worker may not read the file itself: the page reads it
          // whole and hands it over.
          file.arrayBuffer().then((bytes) => w.postMessage({type: 'bytes', bytes}, [bytes]),
                                  () => w.postMessage({type: 'bytes', bytes: null}));
        } else if (message.type === 'done') {
          finish();
          // The engine's memory grew with the file and a wasm memory never
          // shrinks: the worker that holds it is ended, and a fresh one
          // loads the engine for the next run.
          dropWorker();
          prepareEngine();
          resolve(message);
        } else if (message.type === 'error') {
          finish();
          dropWorker();
          reject(new Error(message.message));
        }
      };
      w.onerror = (event) => {
        event.preventDefault();
        finish();
        dropWorker();
        // The folder's worker imports its scripts by URL, which browsers
        // refuse for pages opened from disk.
        const fromDisk = location.protocol === 'file:' && !$('engine-source');
        reject(new Error(fromDisk ? kOpenedFromDisk : kWorkerFailed));
      };
      w.postMessage({type: 'convert', file, target, carrier, module: compiledEngine});
    });
  }

  // ---- the run -----------------------------------------------------------

  function chosenTarget() {
    const checked = form.querySelector('input[name="target"]:checked');
    return checked ? checked.value : 'iphone';
  }

  async function pushStart() {
    if (running) return;
    const file = chosenFile;
    if (!file) {
      await showAlert(kEmptySourceAlert);
      return;
    }
    if (!hasVCardExtension(file.name)) {
      await showAlert(kNotVCardAlert);
      return;
    }
    const target = chosenTarget();
    const carrier = carrierChoice.value;

    clearResult();
    startRun(file.name);
    appendLog(kConvertingLine);
    setRunning(true);
    showProgress('変換中…（' + formatSize(file.size) + '）');
    try {
      let result;
      try {
        result = await convertInWorker(file, target, carrier);
      } catch (e) {
        hideProgress();
        await showAlert(e.message || kWorkerFailed);
        appendLog(kFailedLog);
        return;
      }
      hideProgress();
      const doc = result.document || {};
      if (doc.alert) await showAlert(doc.alert);
      appendLog(doc.log || '');
      // What was left out and why, after the result; nothing for a file
      // that lost nothing.
      if (doc.report) appendReport(doc.report);
      // A run that wrote no card has nothing worth saving, whatever bytes
      // the engine handed back (a file of its byte-order mark alone).
      const outputs = doc.outCount > 0 ? result.outputs || [] : [];
      if (outputs.length > 0) {
        offerDownloads(outputs, target);
      } else if (!doc.alert) {
        noOutputText.textContent = noOutputReason(doc);
        noOutput.hidden = false;
      }
      showRun();
    } finally {
      hideProgress();
      setRunning(false);
    }
  }

  form.addEventListener('submit', (event) => {
    event.preventDefault();
    pushStart();
  });

  // A page restored from the history may still hold a chosen file.
  setFile(fileInput.files.length > 0 ? fileInput.files[0] : null);
  setRunning(false);
})();
