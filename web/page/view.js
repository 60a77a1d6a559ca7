// The page as the person sees and uses it: the only part of the script that
// reads or changes the document. It shows what it is told and passes the
// person's choices on to the handlers the run gives it.
const pageView = (() => {
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

  let running = false;
  let downloadUrls = [];

  // ---- the chosen file -----------------------------------------------------

  function showFile(line, chosen) {
    fileNameLine.textContent = line;
    fileNameLine.classList.toggle('chosen', chosen);
  }

  function setDropNote(text) {
    dropNote.textContent = text;
  }

  // The file the input still holds, as a page restored from the history may.
  function fileInInput() {
    return fileInput.files.length > 0 ? fileInput.files[0] : null;
  }

  function chosenTarget() {
    const checked = form.querySelector('input[name="target"]:checked');
    return checked ? checked.value : 'iphone';
  }

  function chosenCarrier() {
    return carrierChoice.value;
  }

  // Passes the person's acts on: a file chosen with the button, files
  // dropped on the drop area, and the start of a run.
  function listen(handlers) {
    const openChooser = () => {
      if (!running) fileInput.click();
    };
    fileInput.addEventListener('change', () => {
      dropNote.textContent = '';
      // Cancelling the chooser keeps the file chosen before.
      if (fileInput.files.length > 0) handlers.chosen(fileInput.files[0]);
    });
    dropArea.addEventListener('click', openChooser);
    dropArea.addEventListener('keydown', (event) => {
      if (event.key === 'Enter' || event.key === ' ') {
        event.preventDefault();
        openChooser();
      }
    });
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
      // The file input would still name the previous choice; a drop the
      // run takes clears it so that the chooser and the drop do not
      // disagree.
      if (handlers.dropped(event.dataTransfer.files)) fileInput.value = '';
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
    form.addEventListener('submit', (event) => {
      event.preventDefault();
      handlers.start();
    });
    window.addEventListener('pagehide', () => handlers.leaving());
  }

  function setDropSign(on) {
    dropArea.classList.toggle('drop-sign', on);
  }

  // ---- log and alerts ------------------------------------------------------

  // Each run is a block of the log, so that the page can bring the run just
  // finished into view, heading first, however long the log has grown.
  let currentRun = null;

  function startRun(heading) {
    currentRun = document.createElement('span');
    currentRun.className = 'run';
    const line = document.createElement('span');
    line.className = 'run-heading';
    line.textContent = heading;
    currentRun.append(line);
    log.append(currentRun);
    log.scrollTop = log.scrollHeight;
  }

  function appendLog(text) {
    (currentRun || log).append(text);
    log.scrollTop = log.scrollHeight;
  }

  // The report, its whole pieces each in a span that does not break. Text
  // nodes only: card names come from the file.
  function appendReport(pieces) {
    const block = document.createDocumentFragment();
    for (const piece of pieces) {
      if (!piece.whole) {
        block.append(piece.text);
        continue;
      }
      const whole = document.createElement('span');
      whole.className = 'nowrap';
      whole.textContent = piece.text;
      block.append(whole);
    }
    appendLog(block);
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

  // ---- progress ------------------------------------------------------------

  // The bar is indeterminate without a share.
  function showProgress(text, share) {
    progressArea.hidden = false;
    progressText.textContent = text;
    if (share === undefined) {
      progressBar.removeAttribute('value');
    } else {
      progressBar.max = 1;
      progressBar.value = share;
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

  // ---- the result ----------------------------------------------------------

  function clearResult() {
    for (const url of downloadUrls) URL.revokeObjectURL(url);
    downloadUrls = [];
    downloadList.replaceChildren();
    downloads.hidden = true;
    noOutput.hidden = true;
    noOutputText.textContent = '';
  }

  function showNoOutput(text) {
    noOutputText.textContent = text;
    noOutput.hidden = false;
  }

  // A link per output, named with its size, and the next step's lines.
  function offerDownloads(outputs, sizeText, steps) {
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
      size.textContent = '保存（' + sizeText(blob.size) + '）';
      link.append(name, size);
      const item = document.createElement('li');
      item.append(link);
      downloadList.append(item);
    });
    // A step's phrases are parted by "|": a line may end only there.
    nextStep.replaceChildren(...steps.map((text) => {
      const line = document.createElement('p');
      text.split('|').forEach((phrase, i) => {
        if (i > 0) line.append(document.createElement('wbr'));
        line.append(phrase);
      });
      return line;
    }));
    downloads.hidden = outputs.length === 0;
  }

  // ---- what the worker is made of ------------------------------------------

  // The single-file page carries the engine and the worker as text in
  // non-running script elements; the static folder has them as files
  // beside this page. fromDisk: the page was opened from disk, where a
  // browser refuses the folder's files to a worker.
  function workerScripts() {
    const engine = $('engine-source');
    if (engine) {
      return {
        texts: {
          engine: embeddedText(engine),
          module: embeddedText($('engine-module-source')),
          worker: embeddedText($('worker-source')),
        },
      };
    }
    const url = (name) => new URL(name, document.baseURI).href;
    return {
      urls: {engine: url('vcard-engine.js'), module: url('vcard-engine-module.js'), worker: url('worker.js')},
      fromDisk: openedFromDisk(),
    };
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

  function openedFromDisk() {
    return location.protocol === 'file:';
  }

  function device() {
    return {agent: navigator.userAgent || '', touchPoints: navigator.maxTouchPoints};
  }

  return {showFile, setDropNote, fileInInput, chosenTarget, chosenCarrier, listen, startRun, appendLog,
          appendReport, showRun, showAlert, showProgress, hideProgress, setRunning, clearResult,
          showNoOutput, offerDownloads, workerScripts, openedFromDisk, device};
})();
