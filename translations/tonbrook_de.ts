<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AudioChannelOption</name>
    <message>
        <source>Auto (Original)</source>
        <translation>Auto (Original)</translation>
    </message>
    <message>
        <source>Stereo (2 Ch)</source>
        <translation>Stereo (2 Kanäle)</translation>
    </message>
    <message>
        <source>Mono (1 Ch)</source>
        <translation>Mono (1 Kanal)</translation>
    </message>
</context>
<context>
    <name>AudioExtractionEngine</name>
    <message>
        <source>File has zero or invalid duration.</source>
        <translation>Die Datei hat keine oder eine ungültige Dauer.</translation>
    </message>
    <message>
        <source>The audio track declares an unusable sample rate of %1 Hz.</source>
        <translation>Die Tonspur gibt eine unbrauchbare Abtastrate von %1 Hz an.</translation>
    </message>
    <message>
        <source>Cannot add audio track output to reader.</source>
        <translation>Die Tonspur kann nicht zum Lesen eingerichtet werden.</translation>
    </message>
    <message>
        <source>Loudness reached about %1 LUFS of the %2 LUFS target: limiting the peaks harder would not make it louder.</source>
        <translation>Die Lautheit erreichte etwa %1 LUFS vom Ziel %2 LUFS: Stärkeres Begrenzen der Spitzen hätte sie nicht lauter gemacht.</translation>
    </message>
    <message>
        <source>Loudness reached about %1 LUFS of the %2 LUFS target: more would have pushed the true peak over -1 dBTP.</source>
        <translation>Die Lautheit erreichte etwa %1 LUFS vom Ziel %2 LUFS: Mehr hätte den True Peak über -1 dBTP getrieben.</translation>
    </message>
    <message>
        <source>Unknown reader start error</source>
        <translation>Unbekannter Fehler beim Starten des Lesens</translation>
    </message>
    <message>
        <source>Reader failed unexpectedly</source>
        <translation>Das Lesen ist unerwartet fehlgeschlagen</translation>
    </message>
    <message>
        <source>No audio could be decoded from &quot;%1&quot;; the file is damaged or incomplete.</source>
        <translation>Aus „%1“ konnte kein Ton decodiert werden; die Datei ist beschädigt oder unvollständig.</translation>
    </message>
</context>
<context>
    <name>AudioExtractionError</name>
    <message>
        <source>Failed to open video file: %1</source>
        <translation>Die Videodatei konnte nicht geöffnet werden: %1</translation>
    </message>
    <message>
        <source>Could not initialize audio reader: %1</source>
        <translation>Der Ton konnte nicht zum Lesen vorbereitet werden: %1</translation>
    </message>
    <message>
        <source>Audio decoding error: %1</source>
        <translation>Fehler beim Decodieren des Tons: %1</translation>
    </message>
    <message>
        <source>The selected video file contains no audio tracks.</source>
        <translation>Die ausgewählte Videodatei enthält keine Tonspuren.</translation>
    </message>
    <message>
        <source>Failed to create output destination directory.</source>
        <translation>Der Zielordner konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Audio extraction was cancelled.</source>
        <translation>Die Tonextraktion wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
</context>
<context>
    <name>AudioPlayerView</name>
    <message>
        <source>Show in File Manager</source>
        <translation>Im Dateimanager zeigen</translation>
    </message>
    <message>
        <source>Share MP3</source>
        <translation>MP3 teilen</translation>
    </message>
    <message>
        <source>Back 10 Seconds</source>
        <translation>10 Sekunden zurück</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Forward 10 Seconds</source>
        <translation>10 Sekunden vor</translation>
    </message>
    <message>
        <source>No audio output device</source>
        <translation>Kein Audioausgabegerät</translation>
    </message>
</context>
<context>
    <name>BitrateOption</name>
    <message>
        <source>320 kbps (High Quality CBR)</source>
        <translation>320 kbit/s (hohe Qualität, CBR)</translation>
    </message>
    <message>
        <source>256 kbps (Standard High CBR)</source>
        <translation>256 kbit/s (Standard hoch, CBR)</translation>
    </message>
    <message>
        <source>192 kbps (Balanced CBR)</source>
        <translation>192 kbit/s (ausgewogen, CBR)</translation>
    </message>
    <message>
        <source>128 kbps (Compact CBR)</source>
        <translation>128 kbit/s (kompakt, CBR)</translation>
    </message>
    <message>
        <source>VBR V0 (~245 kbps Ultra)</source>
        <translation>VBR V0 (~245 kbit/s, ultra)</translation>
    </message>
    <message>
        <source>VBR V2 (~190 kbps Recommended)</source>
        <translation>VBR V2 (~190 kbit/s, empfohlen)</translation>
    </message>
</context>
<context>
    <name>CliOptions</name>
    <message>
        <source>invalid value &apos;%1&apos; for --%2: expected %3 from %4 to %5</source>
        <translation>ungültiger Wert „%1“ für --%2: erwartet werden %3 von %4 bis %5</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for --%2: expected a whole number from %3 to %4</source>
        <translation>ungültiger Wert „%1“ für --%2: erwartet wird eine ganze Zahl von %3 bis %4</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for --%2: expected one of %3</source>
        <translation>ungültiger Wert „%1“ für --%2: erwartet wird einer von %3</translation>
    </message>
    <message>
        <source>--shard auto: %1 is &apos;%2&apos;, not a whole number of at least %3</source>
        <translation>--shard auto: %1 ist „%2“, keine ganze Zahl von mindestens %3</translation>
    </message>
    <message>
        <source>--shard auto: %1 parts are more than %2 (%3)</source>
        <translation>--shard auto: %1 Teile sind mehr als %2 (%3)</translation>
    </message>
    <message>
        <source>--shard auto: part %1 is not one of 1 to %2 (%3)</source>
        <translation>--shard auto: Teil %1 liegt nicht zwischen 1 und %2 (%3)</translation>
    </message>
    <message>
        <source>--shard-count %1 disagrees with SLURM_ARRAY_TASK_COUNT=%2</source>
        <translation>--shard-count %1 widerspricht SLURM_ARRAY_TASK_COUNT=%2</translation>
    </message>
    <message>
        <source>--shard auto: the job array is not one evenly stepped range (%1, SLURM_ARRAY_TASK_MAX=%2); submit it as one range such as --array=1-%3, or give --shard K/N</source>
        <translation>--shard auto: Das Job-Array ist kein gleichmäßig gestufter Bereich (%1, SLURM_ARRAY_TASK_MAX=%2); reichen Sie es als einen Bereich wie --array=1-%3 ein oder geben Sie --shard K/N an</translation>
    </message>
    <message>
        <source>--shard auto: JOB_COMPLETION_INDEX is set but not the number of parts: give --shard-count or set TONBROOK_SHARD_COUNT</source>
        <translation>--shard auto: JOB_COMPLETION_INDEX ist gesetzt, die Anzahl der Teile aber nicht: Geben Sie --shard-count an oder setzen Sie TONBROOK_SHARD_COUNT</translation>
    </message>
    <message>
        <source>--shard auto: no Slurm job array (SLURM_ARRAY_TASK_ID) and no Kubernetes indexed job (JOB_COMPLETION_INDEX) in the environment; give --shard K/N instead</source>
        <translation>--shard auto: Die Umgebung enthält weder ein Slurm-Job-Array (SLURM_ARRAY_TASK_ID) noch einen indizierten Kubernetes-Job (JOB_COMPLETION_INDEX); geben Sie stattdessen --shard K/N an</translation>
    </message>
    <message>
        <source>--shard-count is only read with --shard auto</source>
        <translation>--shard-count wird nur mit --shard auto gelesen</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for --shard: expected K/N, part K of N with 1 &lt;= K &lt;= N &lt;= %2, or auto</source>
        <translation>ungültiger Wert „%1“ für --shard: erwartet wird K/N, Teil K von N mit 1 &lt;= K &lt;= N &lt;= %2, oder auto</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>Sekunden</translation>
    </message>
    <message>
        <source>Extracts the audio of video files into MP3 files.
Every file and every video file found in a folder (recursively, hidden items skipped) becomes one conversion.
Exit status: 0 all converted, 1 some failed, 2 usage error or nothing to convert, 130 interrupted.</source>
        <translation>Extrahiert den Ton von Videodateien in MP3-Dateien.
Jede Datei und jede in einem Ordner gefundene Videodatei (rekursiv, versteckte Einträge ausgenommen) wird zu einer Konvertierung.
Exit-Status: 0 alle konvertiert, 1 einige fehlgeschlagen, 2 Aufruffehler oder nichts zu konvertieren, 130 unterbrochen.</translation>
    </message>
    <message>
        <source>Write every MP3 into &lt;dir&gt; (created when missing) instead of next to its source.</source>
        <translation>Jede MP3 in &lt;dir&gt; schreiben (wird bei Bedarf angelegt) statt neben ihre Quelle.</translation>
    </message>
    <message>
        <source>Bitrate: %1 (default 320).</source>
        <translation>Bitrate: %1 (Standard 320).</translation>
    </message>
    <message>
        <source>Sample rate: %1 (default auto).</source>
        <translation>Abtastrate: %1 (Standard auto).</translation>
    </message>
    <message>
        <source>Channels: %1 (default auto).</source>
        <translation>Kanäle: %1 (Standard auto).</translation>
    </message>
    <message>
        <source>Normalise the peak level.</source>
        <translation>Den Spitzenpegel normalisieren.</translation>
    </message>
    <message>
        <source>Volume gain in decibels (default 0).</source>
        <translation>Verstärkung in Dezibel (Standard 0).</translation>
    </message>
    <message>
        <source>Normalise the loudness (EBU R128) to &lt;LUFS&gt;, from %1 to %2; %3 suits most players. Takes the place of --normalize. The true peak stays under -1 dBTP, so a loud target may be missed unless --limiter is given.</source>
        <translation>Die Lautheit (EBU R128) auf &lt;LUFS&gt; normalisieren, von %1 bis %2; %3 passt für die meisten Player. Ersetzt --normalize. Der True Peak bleibt unter -1 dBTP, daher kann ein lautes Ziel verfehlt werden, sofern nicht --limiter angegeben ist.</translation>
    </message>
    <message>
        <source>With --loudness: hold the true peak under -1 dBTP with a limiter, so that a loud target is met.</source>
        <translation>Mit --loudness: den True Peak mit einem Limiter unter -1 dBTP halten, damit ein lautes Ziel erreicht wird.</translation>
    </message>
    <message>
        <source>Measure the loudness for ReplayGain tags also without --loudness (with it, they are written anyway).</source>
        <translation>Die Lautheit für ReplayGain-Tags auch ohne --loudness messen (mit --loudness werden sie ohnehin geschrieben).</translation>
    </message>
    <message>
        <source>Start at &lt;s&gt; seconds into the source.</source>
        <translation>Bei &lt;s&gt; Sekunden der Quelle beginnen.</translation>
    </message>
    <message>
        <source>End at &lt;s&gt; seconds into the source.</source>
        <translation>Bei &lt;s&gt; Sekunden der Quelle enden.</translation>
    </message>
    <message>
        <source>Fade in over &lt;s&gt; seconds.</source>
        <translation>Über &lt;s&gt; Sekunden einblenden.</translation>
    </message>
    <message>
        <source>Fade out over &lt;s&gt; seconds.</source>
        <translation>Über &lt;s&gt; Sekunden ausblenden.</translation>
    </message>
    <message>
        <source>Do not embed cover art.</source>
        <translation>Kein Cover einbetten.</translation>
    </message>
    <message>
        <source>Zero-based audio track (default 0).</source>
        <translation>Tonspur, ab 0 gezählt (Standard 0).</translation>
    </message>
    <message>
        <source>Title tag for every file.</source>
        <translation>Titel-Tag für jede Datei.</translation>
    </message>
    <message>
        <source>Artist tag for every file.</source>
        <translation>Interpret-Tag für jede Datei.</translation>
    </message>
    <message>
        <source>Album tag for every file.</source>
        <translation>Album-Tag für jede Datei.</translation>
    </message>
    <message>
        <source>Year tag for every file.</source>
        <translation>Jahr-Tag für jede Datei.</translation>
    </message>
    <message>
        <source>Genre tag for every file.</source>
        <translation>Genre-Tag für jede Datei.</translation>
    </message>
    <message>
        <source>Comment tag for every file.</source>
        <translation>Kommentar-Tag für jede Datei.</translation>
    </message>
    <message>
        <source>Concurrent conversions, %1 to %2 (default 2).</source>
        <translation>Gleichzeitige Konvertierungen, %1 bis %2 (Standard 2).</translation>
    </message>
    <message>
        <source>Encoder threads all conversions share: auto (default, one per hardware thread) or %1 to %2; a long file is encoded on several at once.</source>
        <translation>Encoder-Threads, die sich alle Konvertierungen teilen: auto (Standard, einer je Hardware-Thread) oder %1 bis %2; eine lange Datei wird auf mehreren zugleich kodiert.</translation>
    </message>
    <message>
        <source>Convert only part K of N (1 &lt;= K &lt;= N) of the files: the file at zero-based position i of the whole set, in the order they are taken, belongs to part (i mod N) + 1. Outputs are named over the whole set, so N runs write what one run would. &apos;auto&apos; reads the part from a Slurm job array or a Kubernetes indexed job.</source>
        <translation>Nur Teil K von N (1 &lt;= K &lt;= N) der Dateien konvertieren: Die Datei an der ab 0 gezählten Position i der gesamten Menge, in der Reihenfolge ihrer Übernahme, gehört zu Teil (i mod N) + 1. Die Ausgaben werden über die gesamte Menge benannt, sodass N Läufe schreiben, was ein Lauf schreiben würde. „auto“ liest den Teil aus einem Slurm-Job-Array oder einem indizierten Kubernetes-Job.</translation>
    </message>
    <message>
        <source>With --shard auto in a Kubernetes indexed job: the number of parts (else read from TONBROOK_SHARD_COUNT).</source>
        <translation>Mit --shard auto in einem indizierten Kubernetes-Job: die Anzahl der Teile (sonst aus TONBROOK_SHARD_COUNT gelesen).</translation>
    </message>
    <message>
        <source>Replace a file at an output that Tonbrook did not write (by default it stays, and the MP3 is numbered past it: &apos;name (2).mp3&apos;).</source>
        <translation>Eine Datei am Ausgabeort ersetzen, die nicht von Tonbrook stammt (standardmäßig bleibt sie, und die MP3 erhält die nächste Nummer: „name (2).mp3“).</translation>
    </message>
    <message>
        <source>Only inspect: print one JSON array describing the files, convert nothing.</source>
        <translation>Nur untersuchen: ein JSON-Array ausgeben, das die Dateien beschreibt, nichts konvertieren.</translation>
    </message>
    <message>
        <source>Print one JSON object per line for each event.</source>
        <translation>Für jedes Ereignis ein JSON-Objekt pro Zeile ausgeben.</translation>
    </message>
    <message>
        <source>Print only failures and the final summary line.</source>
        <translation>Nur Fehler und die abschließende Zusammenfassung ausgeben.</translation>
    </message>
    <message>
        <source>Video files or folders.</source>
        <translation>Videodateien oder Ordner.</translation>
    </message>
    <message>
        <source>&lt;file or folder&gt;...</source>
        <translation>&lt;Datei oder Ordner&gt;...</translation>
    </message>
    <message>
        <source>decibels</source>
        <translation>Dezibel</translation>
    </message>
    <message>
        <source>--limiter needs --loudness</source>
        <translation>--limiter benötigt --loudness</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for --end: must be after --start</source>
        <translation>ungültiger Wert „%1“ für --end: muss nach --start liegen</translation>
    </message>
    <message>
        <source>invalid value &apos;%1&apos; for --threads: expected auto or a whole number from %2 to %3</source>
        <translation>ungültiger Wert „%1“ für --threads: erwartet wird auto oder eine ganze Zahl von %2 bis %3</translation>
    </message>
    <message>
        <source>invalid value &apos;&apos; for --output-dir: expected a folder</source>
        <translation>ungültiger Wert „“ für --output-dir: erwartet wird ein Ordner</translation>
    </message>
    <message>
        <source>no files or folders given</source>
        <translation>keine Dateien oder Ordner angegeben</translation>
    </message>
</context>
<context>
    <name>CliSession</name>
    <message>
        <source>%1 completed, %2 failed, %3 cancelled in %4 s</source>
        <translation>%1 fertig, %2 fehlgeschlagen, %3 abgebrochen in %4 s</translation>
    </message>
    <message>
        <source>tonbrook-cli: cannot create the output folder &apos;%1&apos;. %2</source>
        <translation>tonbrook-cli: Der Ausgabeordner „%1“ kann nicht angelegt werden. %2</translation>
    </message>
    <message>
        <source>tonbrook-cli: no supported video files among the arguments (see --help)</source>
        <translation>tonbrook-cli: Unter den Argumenten ist keine unterstützte Videodatei (siehe --help)</translation>
    </message>
    <message>
        <source>no such file or folder</source>
        <translation>Datei oder Ordner nicht gefunden</translation>
    </message>
    <message>
        <source>no new supported video files inside</source>
        <translation>enthält keine neuen unterstützten Videodateien</translation>
    </message>
    <message>
        <source>not a supported video file (%1)</source>
        <translation>keine unterstützte Videodatei (%1)</translation>
    </message>
    <message>
        <source>tonbrook-cli: skipping &apos;%1&apos;: %2</source>
        <translation>tonbrook-cli: „%1“ wird übersprungen: %2</translation>
    </message>
    <message>
        <source>completed: %1 -&gt; %2 (%3, %4, %5)</source>
        <translation>fertig: %1 -&gt; %2 (%3, %4, %5)</translation>
    </message>
    <message>
        <source>failed: %1: %2</source>
        <translation>fehlgeschlagen: %1: %2</translation>
    </message>
    <message>
        <source>cancelled: %1</source>
        <translation>abgebrochen: %1</translation>
    </message>
    <message>
        <source>, shard %1 of %2</source>
        <translation>, Teil %1 von %2</translation>
    </message>
    <message>
        <source>Inspecting %1 of %2 files...</source>
        <translation>Datei %1 von %2 wird untersucht...</translation>
    </message>
    <message>
        <source>%1  %2 %3%  %4/%5 done, %6 running</source>
        <translation>%1  %2 %3%  %4/%5 fertig, %6 laufen</translation>
    </message>
    <message>
        <source>Overall</source>
        <translation>Gesamt</translation>
    </message>
    <message>
        <source>, %1 failed</source>
        <translation>, %1 fehlgeschlagen</translation>
    </message>
    <message>
        <source>tonbrook-cli: %1 (see --help)</source>
        <translation>tonbrook-cli: %1 (siehe --help)</translation>
    </message>
    <message>
        <source>Audio track %1 does not exist: the file has %2 audio track (numbered from 0)</source>
        <translation>Tonspur %1 gibt es nicht: Die Datei hat %2 Tonspur (ab 0 gezählt)</translation>
    </message>
    <message>
        <source>Audio track %1 does not exist: the file has %2 audio tracks (numbered from 0)</source>
        <translation>Tonspur %1 gibt es nicht: Die Datei hat %2 Tonspuren (ab 0 gezählt)</translation>
    </message>
</context>
<context>
    <name>ConversionQueue</name>
    <message numerus="yes">
        <source>Successfully extracted %n audio file to MP3.</source>
        <translation>
            <numerusform>%n Audiodatei wurde als MP3 extrahiert.</numerusform>
            <numerusform>%n Audiodateien wurden als MP3 extrahiert.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Successfully extracted %n audio files to MP3.</source>
        <translation>
            <numerusform>%n Audiodatei wurde als MP3 extrahiert.</numerusform>
            <numerusform>%n Audiodateien wurden als MP3 extrahiert.</numerusform>
        </translation>
    </message>
    <message>
        <source>Audio Extraction Complete</source>
        <translation>Audio-Extraktion abgeschlossen</translation>
    </message>
</context>
<context>
    <name>CoverArt</name>
    <message>
        <source>The cover art could not be read back from Tonbrook&apos;s cache (%1). Inspect the file again or choose the cover art again.</source>
        <translation>Das Cover konnte nicht aus dem Zwischenspeicher von Tonbrook gelesen werden (%1). Analysieren Sie die Datei erneut oder wählen Sie das Cover erneut.</translation>
    </message>
    <message>
        <source>%1 has changed</source>
        <translation>%1 wurde verändert</translation>
    </message>
    <message>
        <source>%1 is missing</source>
        <translation>%1 fehlt</translation>
    </message>
</context>
<context>
    <name>DropZoneView</name>
    <message>
        <source>Drop Videos to Convert</source>
        <translation>Videos zum Konvertieren ablegen</translation>
    </message>
    <message>
        <source>Drag &amp; Drop Video Files</source>
        <translation>Videodateien hierher ziehen</translation>
    </message>
    <message>
        <source>Supports MOV, MP4, M4V, MKV, AVI, ProRes, and more.</source>
        <translation>Unterstützt MOV, MP4, M4V, MKV, AVI, ProRes und mehr.</translation>
    </message>
    <message>
        <source>Browse Video Files...</source>
        <translation>Videodateien auswählen...</translation>
    </message>
    <message>
        <source>Add Folder...</source>
        <translation>Ordner hinzufügen...</translation>
    </message>
</context>
<context>
    <name>ExtractionOptions</name>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
</context>
<context>
    <name>ExtractionProgress</name>
    <message>
        <source>Finishing...</source>
        <translation>Wird abgeschlossen...</translation>
    </message>
    <message>
        <source>%1m %2s remaining</source>
        <translation>noch %1 min %2 s</translation>
    </message>
    <message>
        <source>%1s remaining</source>
        <translation>noch %1 s</translation>
    </message>
</context>
<context>
    <name>InspectorView</name>
    <message>
        <source>Choose Custom Art</source>
        <translation>Eigenes Cover wählen</translation>
    </message>
    <message>
        <source>Images (*.png *.jpg *.jpeg *.gif *.bmp *.webp *.tif *.tiff *.heic *.heif)</source>
        <translation>Bilder (*.png *.jpg *.jpeg *.gif *.bmp *.webp *.tif *.tiff *.heic *.heif)</translation>
    </message>
    <message>
        <source>Audio Settings</source>
        <translation>Audioeinstellungen</translation>
    </message>
    <message>
        <source>Audio Track</source>
        <translation>Tonspur</translation>
    </message>
    <message>
        <source>MP3 Bitrate</source>
        <translation>MP3-Bitrate</translation>
    </message>
    <message>
        <source>Bitrate</source>
        <translation>Bitrate</translation>
    </message>
    <message>
        <source>Sample Rate</source>
        <translation>Abtastrate</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>Kanäle</translation>
    </message>
    <message>
        <source>Trimming &amp; Audio Effects</source>
        <translation>Schnitt &amp; Audioeffekte</translation>
    </message>
    <message>
        <source>Trim Audio Range (Seconds)</source>
        <translation>Audiobereich zuschneiden (Sekunden)</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Start:</source>
        <translation>Anfang:</translation>
    </message>
    <message>
        <source>End:</source>
        <translation>Ende:</translation>
    </message>
    <message>
        <source>Loudness</source>
        <translation>Lautheit</translation>
    </message>
    <message>
        <source>Limit Peaks to Reach the Target</source>
        <translation>Spitzen begrenzen, um das Ziel zu erreichen</translation>
    </message>
    <message>
        <source>Peak Volume Normalization</source>
        <translation>Spitzenpegel normalisieren</translation>
    </message>
    <message>
        <source>Maximizes volume without clipping or distortion</source>
        <translation>Maximiert die Lautstärke ohne Übersteuerung oder Verzerrung</translation>
    </message>
    <message>
        <source>Loudness normalization is on and takes its place</source>
        <translation>Die Lautheitsnormalisierung ist aktiv und ersetzt sie</translation>
    </message>
    <message>
        <source>ID3 Tags &amp; Cover Art</source>
        <translation>ID3-Tags &amp; Cover</translation>
    </message>
    <message>
        <source>Embed Cover Art</source>
        <translation>Cover einbetten</translation>
    </message>
    <message>
        <source>Video Poster Frame</source>
        <translation>Vorschaubild des Videos</translation>
    </message>
    <message>
        <source>Choose Custom Art...</source>
        <translation>Eigenes Cover wählen...</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Song / Track Title</source>
        <translation>Titel des Songs / Stücks</translation>
    </message>
    <message>
        <source>Artist</source>
        <translation>Interpret</translation>
    </message>
    <message>
        <source>Artist / Creator</source>
        <translation>Interpret / Urheber</translation>
    </message>
    <message>
        <source>Album</source>
        <translation>Album</translation>
    </message>
    <message>
        <source>Album Name</source>
        <translation>Name des Albums</translation>
    </message>
    <message>
        <source>Year</source>
        <translation>Jahr</translation>
    </message>
    <message>
        <source>Genre</source>
        <translation>Genre</translation>
    </message>
</context>
<context>
    <name>JobStatus</name>
    <message>
        <source>Queued</source>
        <translation>In der Warteschlange</translation>
    </message>
    <message>
        <source>Analyzing...</source>
        <translation>Wird analysiert...</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Extracting (%1%)</source>
        <translation>Wird extrahiert (%1 %)</translation>
    </message>
    <message>
        <source>Extracted</source>
        <translation>Extrahiert</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Abgebrochen</translation>
    </message>
</context>
<context>
    <name>JobView</name>
    <message>
        <source>Codec: %1</source>
        <translation>Codec: %1</translation>
    </message>
    <message>
        <source>Fade In: %1s</source>
        <translation>Einblenden: %1 s</translation>
    </message>
    <message>
        <source>Fade Out: %1s</source>
        <translation>Ausblenden: %1 s</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
</context>
<context>
    <name>MP3EncoderError</name>
    <message>
        <source>MP3 encoder initialization failed with code %1.</source>
        <translation>Der MP3-Encoder konnte nicht gestartet werden (Code %1).</translation>
    </message>
    <message>
        <source>MP3 encoder write failed with error %1.</source>
        <translation>Der MP3-Encoder konnte nicht schreiben (Fehler %1).</translation>
    </message>
    <message>
        <source>Failed to create MP3 encoder instance.</source>
        <translation>Der MP3-Encoder konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>MP3 output file could not be created or written.</source>
        <translation>Die MP3-Datei konnte nicht angelegt oder geschrieben werden.</translation>
    </message>
    <message>
        <source>The disk is full.</source>
        <translation>Der Datenträger ist voll.</translation>
    </message>
</context>
<context>
    <name>MainToolbar</name>
    <message>
        <source>Add Videos</source>
        <translation>Videos hinzufügen</translation>
    </message>
    <message>
        <source>Add video files (%1)</source>
        <translation>Videodateien hinzufügen (%1)</translation>
    </message>
    <message>
        <source>Default Bitrate</source>
        <translation>Standard-Bitrate</translation>
    </message>
    <message>
        <source>Clear Done</source>
        <translation>Fertige entfernen</translation>
    </message>
    <message>
        <source>Clear completed files from list</source>
        <translation>Fertige Dateien aus der Liste entfernen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Cancel remaining batch extractions</source>
        <translation>Verbleibende Extraktionen abbrechen</translation>
    </message>
    <message>
        <source>Extract all ready videos to MP3 (%1)</source>
        <translation>Alle bereiten Videos als MP3 extrahieren (%1)</translation>
    </message>
    <message>
        <source>Preferences (%1)</source>
        <translation>Einstellungen (%1)</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <source>Open Videos...</source>
        <translation>Videos öffnen...</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>MainView</name>
    <message>
        <source>Add Videos</source>
        <translation>Videos hinzufügen</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Queue</source>
        <translation>Warteschlange</translation>
    </message>
    <message>
        <source>Select an item to view &amp; adjust settings</source>
        <translation>Wählen Sie einen Eintrag, um seine Einstellungen zu sehen und anzupassen</translation>
    </message>
</context>
<context>
    <name>MediaReader</name>
    <message>
        <source>The audio output cannot be added to the reader</source>
        <translation>Die Tonausgabe kann nicht eingerichtet werden</translation>
    </message>
    <message>
        <source>The reader has no audio output</source>
        <translation>Es ist keine Tonausgabe eingerichtet</translation>
    </message>
    <message>
        <source>The audio track cannot be found</source>
        <translation>Die Tonspur wurde nicht gefunden</translation>
    </message>
    <message>
        <source>The audio could not be decoded</source>
        <translation>Der Ton konnte nicht decodiert werden</translation>
    </message>
    <message>
        <source>The file could not be read</source>
        <translation>Die Datei konnte nicht gelesen werden</translation>
    </message>
    <message>
        <source>The audio could not be converted</source>
        <translation>Der Ton konnte nicht umgewandelt werden</translation>
    </message>
    <message>
        <source>The video frame could not be converted</source>
        <translation>Das Videobild konnte nicht umgewandelt werden</translation>
    </message>
    <message>
        <source>The video frame could not be decoded</source>
        <translation>Das Videobild konnte nicht decodiert werden</translation>
    </message>
    <message>
        <source>No video frame could be decoded</source>
        <translation>Es konnte kein Videobild decodiert werden</translation>
    </message>
    <message>
        <source>The file has no video track</source>
        <translation>Die Datei hat keine Videospur</translation>
    </message>
    <message>
        <source>The file could not be opened</source>
        <translation>Die Datei konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>The file&apos;s streams could not be read</source>
        <translation>Die Datenströme der Datei konnten nicht gelesen werden</translation>
    </message>
    <message>
        <source>No decoder for the %1 codec</source>
        <translation>Kein Decoder für den Codec %1</translation>
    </message>
    <message>
        <source>The decoder could not be set up</source>
        <translation>Der Decoder konnte nicht eingerichtet werden</translation>
    </message>
    <message>
        <source>The %1 decoder could not be opened</source>
        <translation>Der Decoder %1 konnte nicht geöffnet werden</translation>
    </message>
</context>
<context>
    <name>PreferencesSheet</name>
    <message>
        <source>Choose Output Folder</source>
        <translation>Ausgabeordner wählen</translation>
    </message>
    <message>
        <source>Tonbrook Preferences</source>
        <translation>Tonbrook-Einstellungen</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Default Audio Settings</source>
        <translation>Standard-Audioeinstellungen</translation>
    </message>
    <message>
        <source>Default Bitrate</source>
        <translation>Standard-Bitrate</translation>
    </message>
    <message>
        <source>Default Sample Rate</source>
        <translation>Standard-Abtastrate</translation>
    </message>
    <message>
        <source>Normalize Peak Volume by Default</source>
        <translation>Spitzenpegel standardmäßig normalisieren</translation>
    </message>
    <message>
        <source>Default Loudness</source>
        <translation>Standard-Lautheit</translation>
    </message>
    <message>
        <source>Embed Video Poster Frame by Default</source>
        <translation>Vorschaubild standardmäßig einbetten</translation>
    </message>
    <message>
        <source>Output Destination</source>
        <translation>Speicherort</translation>
    </message>
    <message>
        <source>Save Files To</source>
        <translation>Dateien speichern in</translation>
    </message>
    <message>
        <source>Same Directory as Source Video</source>
        <translation>Ordner des Quellvideos</translation>
    </message>
    <message>
        <source>Custom Output Directory</source>
        <translation>Eigener Ordner</translation>
    </message>
    <message>
        <source>Choose...</source>
        <translation>Wählen...</translation>
    </message>
    <message>
        <source>Performance &amp; Notifications</source>
        <translation>Leistung &amp; Benachrichtigungen</translation>
    </message>
    <message>
        <source>Concurrent Conversions</source>
        <translation>Gleichzeitige Konvertierungen</translation>
    </message>
    <message>
        <source>Play Completion Sound</source>
        <translation>Ton nach Abschluss abspielen</translation>
    </message>
    <message>
        <source>Send Desktop Notification when Batch Finishes</source>
        <translation>Benachrichtigung senden, wenn alle fertig sind</translation>
    </message>
</context>
<context>
    <name>QueueItemView</name>
    <message>
        <source>Extract this file</source>
        <translation>Diese Datei extrahieren</translation>
    </message>
    <message>
        <source>Cancel extraction</source>
        <translation>Extraktion abbrechen</translation>
    </message>
    <message>
        <source>Reveal MP3 in File Manager</source>
        <translation>MP3 im Dateimanager zeigen</translation>
    </message>
    <message>
        <source>Retry extraction</source>
        <translation>Extraktion wiederholen</translation>
    </message>
    <message>
        <source>Remove from queue</source>
        <translation>Aus der Warteschlange entfernen</translation>
    </message>
</context>
<context>
    <name>QueueView</name>
    <message numerus="yes">
        <source>%n file in queue</source>
        <translation>
            <numerusform>%n Datei in der Warteschlange</numerusform>
            <numerusform>%n Dateien in der Warteschlange</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n files in queue</source>
        <translation>
            <numerusform>%n Datei in der Warteschlange</numerusform>
            <numerusform>%n Dateien in der Warteschlange</numerusform>
        </translation>
    </message>
    <message>
        <source>Extract All (%1)</source>
        <translation>Alle extrahieren (%1)</translation>
    </message>
    <message>
        <source>Extract All</source>
        <translation>Alle extrahieren</translation>
    </message>
    <message>
        <source>%1 Completed</source>
        <translation>%1 fertig</translation>
    </message>
    <message>
        <source>%1 Extracting...</source>
        <translation>%1 in Arbeit...</translation>
    </message>
    <message>
        <source>Source Folder</source>
        <translation>Quellordner</translation>
    </message>
    <message>
        <source>Custom Folder</source>
        <translation>Eigener Ordner</translation>
    </message>
    <message>
        <source>Save to: %1</source>
        <translation>Speichern in: %1</translation>
    </message>
    <message>
        <source>No folder chosen</source>
        <translation>Kein Ordner gewählt</translation>
    </message>
    <message>
        <source>1 (Sequential)</source>
        <translation>1 (nacheinander)</translation>
    </message>
    <message>
        <source>2 (Balanced)</source>
        <translation>2 (ausgewogen)</translation>
    </message>
    <message>
        <source>4 (High Speed)</source>
        <translation>4 (schnell)</translation>
    </message>
    <message>
        <source>8 (Maximum)</source>
        <translation>8 (maximal)</translation>
    </message>
    <message>
        <source>Video Files (%1)</source>
        <translation>Videodateien (%1)</translation>
    </message>
</context>
<context>
    <name>QuickAddBanner</name>
    <message>
        <source>Drop more video files here or</source>
        <translation>Weitere Videodateien hier ablegen oder</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Auswählen...</translation>
    </message>
</context>
<context>
    <name>SampleRateOption</name>
    <message>
        <source>Auto (Original)</source>
        <translation>Auto (Original)</translation>
    </message>
    <message>
        <source>44.1 kHz (CD Quality)</source>
        <translation>44,1 kHz (CD-Qualität)</translation>
    </message>
    <message>
        <source>48.0 kHz (Studio Quality)</source>
        <translation>48,0 kHz (Studioqualität)</translation>
    </message>
    <message>
        <source>32.0 kHz</source>
        <translation>32,0 kHz</translation>
    </message>
</context>
<context>
    <name>StatusBadge</name>
    <message>
        <source>Analyzing</source>
        <translation>Analyse</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Converting</source>
        <translation>Läuft</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Abgebrochen</translation>
    </message>
    <message>
        <source>Queued</source>
        <translation>Wartet</translation>
    </message>
</context>
<context>
    <name>Waveform</name>
    <message>
        <source>The file has no length to draw.</source>
        <translation>Die Datei hat keine darstellbare Länge.</translation>
    </message>
    <message>
        <source>The audio track cannot be decoded.</source>
        <translation>Die Tonspur kann nicht decodiert werden.</translation>
    </message>
    <message>
        <source>No audio could be decoded.</source>
        <translation>Es konnte kein Ton decodiert werden.</translation>
    </message>
</context>
<context>
    <name>WaveformEditor</name>
    <message>
        <source>No audio output device</source>
        <translation>Kein Audioausgabegerät</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Play the Trimmed Audio</source>
        <translation>Zugeschnittenen Ton abspielen</translation>
    </message>
    <message>
        <source>Waveform</source>
        <translation>Wellenform</translation>
    </message>
    <message>
        <source>Drawing the waveform…</source>
        <translation>Wellenform wird gezeichnet…</translation>
    </message>
    <message>
        <source>Trim Start</source>
        <translation>Anfang des Zuschnitts</translation>
    </message>
    <message>
        <source>Trim End</source>
        <translation>Ende des Zuschnitts</translation>
    </message>
</context>
<context>
    <name>WaveformStore</name>
    <message>
        <source>The file has no audio track %1.</source>
        <translation>Die Datei hat keine Tonspur %1.</translation>
    </message>
</context>
<context>
    <name>tonbrook::WaveformPlot</name>
    <message>
        <source>The file has no audio track.</source>
        <translation>Die Datei hat keine Tonspur.</translation>
    </message>
</context>
</TS>
