<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Tovanik: it works</title>
<style>
  body { background: #353C42; color: #F0F0F0; font-family: "Open Sans", sans-serif; margin: 0; }
  main { max-width: 36em; margin: 12vh auto; background: #2B2E31; border-radius: 8px; padding: 2em; }
  h1 { margin-top: 0; border-left: 6px solid #008CCA; padding-left: .5em; }
  code { color: #4DBD74; }
</style>
</head>
<body>
<main>
  <h1>Tovanik is serving</h1>
  <p>PHP <?= htmlspecialchars(PHP_VERSION) ?> answers from
     <code><?= htmlspecialchars(__DIR__) ?></code>.</p>
  <p>Put your application in this folder, or point <code>root_directory</code> in
     <code>config<?= DIRECTORY_SEPARATOR ?>config.ini</code> at another one.</p>
</main>
</body>
</html>
