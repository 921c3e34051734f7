// French, German, Indonesian, Italian, Portuguese (Brazil) and Turkish rows
// of the language table. Slots 8 to 11 (the layout names) stay empty: the
// layouts are named the same in every language, so the English text shows.
#include "app/core/language_rows.h"

namespace kestrel::app::language_rows {

using namespace std::string_view_literals;

const LanguageEntry french = {
    0x040C,
    L"French (Français)"sv,
    {{
        L"Source :"sv, L"Cible :"sv, L"Étiquette :"sv, L"Système de fichiers :"sv, L"Démarrer"sv,
        L"Sélectionnez ou glissez un dossier ici"sv, L"Sélectionnez le fichier ISO de sortie"sv,
        L"Nom de volume de 0 à 128 caractères"sv,
        {}, {}, {}, {},
        L"&Langue (Language)"sv,                                   // 12
        L"&Intégrer au menu contextuel de l'Explorateur"sv,
        L"&Autoriser plusieurs instances"sv,
        L"Afficher dans l'&Explorateur une fois terminé"sv,
        L"&Fermer une fois terminé"sv,
        L"&Toujours au premier plan"sv,
        L"T&raduction"sv,
        L"Signaler un &problème"sv,
        L"Ligne de &commande"sv,
        L"À pr&opos de Kestrel..."sv,                              // 21
        L"Thè&me"sv, L"&Clair"sv, L"&Sombre"sv, L"S&ystème"sv,
        L"« %s » existe déjà.\n\nVoulez-vous le remplacer ?"sv,    // 26
        L"Fichiers ISO (*.iso)\0*.iso\0\0"sv,
        L"Kestrel crée une image disque ISO 9660, UDF 1.02 ou UDF 2.50 à partir d'un dossier, "
        L"y compris les dossiers de films DVD-Vidéo et Blu-ray (3D comprise).\n"
        L"C'est un logiciel libre, fourni sans aucune garantie.\n"
        L"Traducteur : projet Kestrel"sv,
        L"L'image n'a pas pu être créée."sv,                       // 29
        L"Le système de fichiers choisi n'est pas valide."sv,
        L"Le dossier source « %s » ne peut pas être ouvert."sv,
        L"Le contenu du dossier « %s » ne peut pas être lu."sv,
        L"L'élément « %s » ne peut pas être examiné."sv,
        L"Le fichier « %s » ne peut pas être ouvert."sv,
        L"La lecture du fichier « %s » a échoué."sv,
        L"Le fichier « %s » a raccourci pendant la création de l'image."sv,
        L"Le dossier « %s » est un lien vers sa propre arborescence et ne peut pas être mis dans une image."sv,
        L"Le fichier image « %s » ne peut pas être créé."sv,
        L"L'écriture du fichier image « %s » a échoué. Le disque est-il plein ?"sv,
        L"L'image terminée ne peut pas être déplacée vers « %s »."sv,
        L"La mémoire ne suffit pas pour cette création."sv,
        L"La source contient plus de dossiers qu'un volume ISO 9660 ne peut en numéroter. Choisissez un système UDF."sv,
        L"Le fichier « %s » est trop grand pour le système de fichiers choisi."sv,
        L"L'image dépasserait la taille qu'une image disque peut adresser."sv,
        L"Erreur interne : une structure n'a pas été écrite à l'endroit prévu. L'image n'a pas été conservée."sv,
        L"La création a été annulée."sv,
        L"Windows indique : %s"sv,                                 // 47
        L"L'image a été créée, avec des avertissements :"sv,
        L"Le fichier « %s » a grandi pendant la création ; sa taille initiale a été écrite."sv,
        L"Le nom « %s » était trop long pour le système de fichiers et a été raccourci."sv,
        L"Le nom « %s » rencontrait un autre nom de l'image et a été rendu unique."sv,
        L"« %s » n'est pas un fichier ordinaire (tube, socket ou périphérique) et a été ignoré."sv,
        L"Le lien « %s » ne mène nulle part et a été ignoré."sv,
        L"... et %s de plus."sv,
        L"Ce chemin est trop long pour le programme :\n\n%s"sv,   // 55
    }},
};

const LanguageEntry german = {
    0x0407,
    L"German (Deutsch)"sv,
    {{
        L"Quelle:"sv, L"Ziel:"sv, L"Bezeichnung:"sv, L"Dateisystem:"sv, L"Start"sv,
        L"Ordner auswählen oder hierher ziehen"sv, L"Ausgabe-ISO-Datei auswählen"sv,
        L"0 bis 128 Zeichen Datenträgerbezeichnung"sv,
        {}, {}, {}, {},
        L"&Sprache (Language)"sv,                                  // 12
        L"In das &Kontextmenü der Shell einbinden"sv,
        L"&Mehrere Instanzen zulassen"sv,
        L"Nach Abschluss im Explorer an&zeigen"sv,
        L"Nach &Abschluss schließen"sv,
        L"Immer im &Vordergrund"sv,
        L"Üb&ersetzung"sv,
        L"&Probleme melden"sv,
        L"&Befehlszeile"sv,
        L"&Über Kestrel ..."sv,                                    // 21
        L"&Design"sv, L"&Hell"sv, L"&Dunkel"sv, L"&System"sv,
        L"'%s' ist bereits vorhanden.\n\nMöchten Sie diese ersetzen?"sv,  // 26
        L"ISO-Dateien (*.iso)\0*.iso\0\0"sv,
        L"Kestrel erstellt aus einem Ordner ein ISO-9660-, UDF-1.02- oder UDF-2.50-Abbild, "
        L"auch aus DVD-Video- und Blu-ray-Filmordnern (auch 3D).\n"
        L"Es ist freie Software und wird ohne jede Gewährleistung angeboten.\n"
        L"Übersetzer: Kestrel-Projekt"sv,
        L"Das Abbild konnte nicht erstellt werden."sv,              // 29
        L"Das gewählte Dateisystem ist ungültig."sv,
        L"Der Quellordner '%s' kann nicht geöffnet werden."sv,
        L"Der Ordner '%s' kann nicht aufgelistet werden."sv,
        L"Der Eintrag '%s' kann nicht untersucht werden."sv,
        L"Die Datei '%s' kann nicht geöffnet werden."sv,
        L"Das Lesen der Datei '%s' ist fehlgeschlagen."sv,
        L"Die Datei '%s' ist während der Erstellung kürzer geworden."sv,
        L"Der Ordner '%s' ist eine Verknüpfung in seinen eigenen Baum und kann nicht in ein Abbild aufgenommen werden."sv,
        L"Die Abbilddatei '%s' kann nicht angelegt werden."sv,
        L"Das Schreiben der Abbilddatei '%s' ist fehlgeschlagen. Ist der Datenträger voll?"sv,
        L"Das fertige Abbild kann nicht nach '%s' verschoben werden."sv,
        L"Für diese Erstellung reicht der Speicher nicht aus."sv,
        L"Die Quelle enthält mehr Ordner, als ein ISO-9660-Volume nummerieren kann. Wählen Sie ein UDF-Dateisystem."sv,
        L"Die Datei '%s' ist für das gewählte Dateisystem zu groß."sv,
        L"Das Abbild wäre größer, als ein Datenträgerabbild adressieren kann."sv,
        L"Interner Fehler: Eine Struktur wurde nicht an ihrer geplanten Stelle geschrieben. Das Abbild wurde verworfen."sv,
        L"Die Erstellung wurde abgebrochen."sv,
        L"Windows meldet: %s"sv,                                   // 47
        L"Das Abbild wurde erstellt, mit Warnungen:"sv,
        L"Die Datei '%s' ist während der Erstellung gewachsen; ihre Anfangsgröße wurde geschrieben."sv,
        L"Der Name '%s' war für das Dateisystem zu lang und wurde gekürzt."sv,
        L"Der Name '%s' traf auf einen anderen Namen im Abbild und wurde eindeutig gemacht."sv,
        L"'%s' ist keine normale Datei (Pipe, Socket oder Gerät) und wurde ausgelassen."sv,
        L"Die Verknüpfung '%s' führt ins Leere und wurde ausgelassen."sv,
        L"... und %s weitere."sv,
        L"Dieser Pfad ist für das Programm zu lang:\n\n%s"sv,     // 55
    }},
};

const LanguageEntry indonesian = {
    0x0421,
    L"Indonesian (ID)"sv,
    {{
        L"Sumber:"sv, L"Tujuan:"sv, L"Label:"sv, L"Sistem berkas:"sv, L"Mulai"sv,
        L"Pilih atau seret folder ke sini"sv, L"Pilih berkas ISO keluaran"sv,
        L"Label volume, 0 sampai 128 karakter"sv,
        {}, {}, {}, {},
        L"&Bahasa (Language)"sv,
        L"&Integrasikan ke menu konteks shell"sv,
        L"Izinkan beberapa i&nstans"sv,
        L"&Tampilkan di Explorer setelah selesai"sv,
        L"T&utup setelah selesai"sv,
        L"&Selalu di atas"sv,
        L"Te&rjemahan"sv,
        L"&Laporkan masalah"sv,
        L"Baris &perintah"sv,
        L"Tent&ang Kestrel..."sv,
        L"T&ema"sv, L"&Terang"sv, L"&Gelap"sv, L"&Sistem"sv,
        L"'%s' sudah ada.\n\nApakah Anda ingin menggantinya?"sv,
        L"Berkas ISO (*.iso)\0*.iso\0\0"sv,
        L"Kestrel membuat image disk ISO 9660, UDF 1.02, atau UDF 2.50 dari sebuah folder, "
        L"termasuk folder film DVD-Video dan Blu-ray (juga 3D).\n"
        L"Ini adalah perangkat lunak bebas, diberikan tanpa jaminan apa pun.\n"
        L"Penerjemah: proyek Kestrel"sv,
        L"Image tidak dapat dibuat."sv,                             // 29
        L"Sistem berkas yang dipilih tidak valid."sv,
        L"Folder sumber '%s' tidak dapat dibuka."sv,
        L"Isi folder '%s' tidak dapat dibaca."sv,
        L"Entri '%s' tidak dapat diperiksa."sv,
        L"Berkas '%s' tidak dapat dibuka."sv,
        L"Gagal membaca berkas '%s'."sv,
        L"Berkas '%s' menjadi lebih pendek saat image sedang dibuat."sv,
        L"Folder '%s' merupakan tautan kembali ke pohonnya sendiri dan tidak dapat dimasukkan ke dalam image."sv,
        L"Berkas image '%s' tidak dapat dibuat."sv,
        L"Gagal menulis berkas image '%s'. Apakah disk penuh?"sv,
        L"Image yang sudah selesai tidak dapat dipindahkan ke '%s'."sv,
        L"Memori tidak cukup untuk membuat image ini."sv,
        L"Sumber berisi lebih banyak folder daripada yang dapat dinomori oleh volume ISO 9660. Pilih sistem berkas UDF."sv,
        L"Berkas '%s' terlalu besar untuk sistem berkas yang dipilih."sv,
        L"Image akan melebihi ukuran yang dapat dialamatkan oleh image disk."sv,
        L"Kesalahan internal: sebuah struktur tidak ditulis di tempat yang telah direncanakan. Image tidak disimpan."sv,
        L"Pembuatan image dibatalkan."sv,
        L"Windows melaporkan: %s"sv,                                // 47
        L"Image berhasil dibuat, dengan peringatan:"sv,
        L"Berkas '%s' bertambah besar saat image sedang dibuat; ukuran awalnya yang ditulis."sv,
        L"Nama '%s' terlalu panjang untuk sistem berkas dan telah dipendekkan."sv,
        L"Nama '%s' sama dengan nama lain di dalam image dan telah dibuat unik."sv,
        L"'%s' bukan berkas biasa (pipe, soket, atau perangkat) dan telah dilewati."sv,
        L"Tautan '%s' tidak mengarah ke mana pun dan telah dilewati."sv,
        L"... dan %s lainnya."sv,
        L"Jalur ini terlalu panjang untuk program:\n\n%s"sv,        // 55
    }},
};

const LanguageEntry italian = {
    0x0410,
    L"Italian (Italiano)"sv,
    {{
        L"Origine:"sv, L"Destinazione:"sv, L"Etichetta:"sv, L"File system:"sv, L"Avvia"sv,
        L"Seleziona o trascina qui una cartella"sv, L"Seleziona il file ISO di destinazione"sv,
        L"Etichetta del volume, da 0 a 128 caratteri"sv,
        {}, {}, {}, {},
        L"&Lingua (Language)"sv,
        L"I&ntegra nel menu contestuale della shell"sv,
        L"Consenti &più istanze"sv,
        L"&Mostra in Esplora risorse al termine"sv,
        L"&Chiudi al termine"sv,
        L"Sempre in primo pian&o"sv,
        L"&Traduzione"sv,
        L"&Segnala problemi"sv,
        L"Riga di coman&do"sv,
        L"&Informazioni su Kestrel..."sv,
        L"T&ema"sv, L"&Chiaro"sv, L"&Scuro"sv, L"Si&stema"sv,
        L"'%s' esiste già.\n\nSostituirlo?"sv,
        L"File ISO (*.iso)\0*.iso\0\0"sv,
        L"Kestrel crea un'immagine disco ISO 9660, UDF 1.02 o UDF 2.50 da una cartella, "
        L"anche da cartelle di film DVD-Video e Blu-ray (anche 3D).\n"
        L"È software libero, fornito senza alcuna garanzia.\n"
        L"Traduttore: progetto Kestrel"sv,
        L"Impossibile creare l'immagine."sv,
        L"Il file system scelto non è valido."sv,
        L"Impossibile aprire la cartella di origine '%s'."sv,
        L"Impossibile elencare il contenuto della cartella '%s'."sv,
        L"Impossibile esaminare l'elemento '%s'."sv,
        L"Impossibile aprire il file '%s'."sv,
        L"Lettura del file '%s' non riuscita."sv,
        L"Il file '%s' si è accorciato durante la creazione dell'immagine."sv,
        L"La cartella '%s' è un collegamento al proprio albero e non può essere inserita in un'immagine."sv,
        L"Impossibile creare il file immagine '%s'."sv,
        L"Scrittura del file immagine '%s' non riuscita. Il disco è pieno?"sv,
        L"Impossibile spostare l'immagine completata in '%s'."sv,
        L"Memoria insufficiente per questa creazione."sv,
        L"L'origine contiene più cartelle di quante un volume ISO 9660 possa numerare. Scegliere un file system UDF."sv,
        L"Il file '%s' è troppo grande per il file system scelto."sv,
        L"L'immagine supererebbe la dimensione che un'immagine disco può indirizzare."sv,
        L"Errore interno: una struttura non è stata scritta dove era prevista. L'immagine non è stata conservata."sv,
        L"La creazione è stata annullata."sv,
        L"Windows segnala: %s"sv,
        L"L'immagine è stata creata, con avvisi:"sv,
        L"Il file '%s' è cresciuto durante la creazione; è stata scritta la dimensione iniziale."sv,
        L"Il nome '%s' era troppo lungo per il file system ed è stato accorciato."sv,
        L"Il nome '%s' coincideva con un altro nome dell'immagine ed è stato reso univoco."sv,
        L"'%s' non è un file normale (pipe, socket o dispositivo) ed è stato escluso."sv,
        L"Il collegamento '%s' non porta da nessuna parte ed è stato escluso."sv,
        L"... e altri %s."sv,
        L"Questo percorso è troppo lungo per il programma:\n\n%s"sv,
    }},
};

const LanguageEntry portuguese_brazil = {
    0x0416,
    L"Portuguese (Brazil)"sv,
    {{
        L"Origem:"sv, L"Destino:"sv, L"Rótulo:"sv, L"Sistema de arquivos:"sv, L"Iniciar"sv,
        L"Selecione ou arraste uma pasta aqui"sv, L"Selecione o arquivo ISO de saída"sv,
        L"Rótulo do volume, de 0 a 128 caracteres"sv,
        {}, {}, {}, {},
        L"&Idioma (Language)"sv,
        L"Integrar ao &menu de contexto do Explorer"sv,
        L"Permitir &várias instâncias"sv,
        L"&Exibir no Explorer ao concluir"sv,
        L"&Fechar ao concluir"sv,
        L"Sempre em &primeiro plano"sv,
        L"&Tradução"sv,
        L"&Relatar problemas"sv,
        L"&Linha de comando"sv,
        L"&Sobre o Kestrel..."sv,
        L"Tem&a"sv, L"&Claro"sv, L"&Escuro"sv, L"&Sistema"sv,
        L"'%s' já existe.\n\nDeseja substituí-lo?"sv,
        L"Arquivos ISO (*.iso)\0*.iso\0\0"sv,
        L"O Kestrel cria uma imagem de disco ISO 9660, UDF 1.02 ou UDF 2.50 a partir de uma pasta, "
        L"inclusive pastas de filmes DVD-Video e Blu-ray (também 3D).\n"
        L"É software livre, oferecido sem nenhuma garantia.\n"
        L"Tradutor: projeto Kestrel"sv,
        L"Não foi possível criar a imagem."sv,
        L"O sistema de arquivos escolhido não é válido."sv,
        L"Não é possível abrir a pasta de origem '%s'."sv,
        L"Não é possível listar a pasta '%s'."sv,
        L"Não é possível examinar o item '%s'."sv,
        L"Não é possível abrir o arquivo '%s'."sv,
        L"Falha ao ler o arquivo '%s'."sv,
        L"O arquivo '%s' ficou menor durante a criação da imagem."sv,
        L"A pasta '%s' é um link para a sua própria árvore e não pode ser colocada em uma imagem."sv,
        L"Não é possível criar o arquivo de imagem '%s'."sv,
        L"Falha ao gravar o arquivo de imagem '%s'. O disco está cheio?"sv,
        L"Não é possível mover a imagem concluída para '%s'."sv,
        L"Não há memória suficiente para esta criação."sv,
        L"A origem tem mais pastas do que um volume ISO 9660 pode numerar. Escolha um sistema de arquivos UDF."sv,
        L"O arquivo '%s' é grande demais para o sistema de arquivos escolhido."sv,
        L"A imagem ultrapassaria o tamanho que uma imagem de disco pode endereçar."sv,
        L"Erro interno: uma estrutura não foi gravada onde foi planejada. A imagem não foi mantida."sv,
        L"A criação foi cancelada."sv,
        L"O Windows informa: %s"sv,
        L"A imagem foi criada, com avisos:"sv,
        L"O arquivo '%s' cresceu durante a criação; foi gravado o tamanho inicial."sv,
        L"O nome '%s' era longo demais para o sistema de arquivos e foi encurtado."sv,
        L"O nome '%s' coincidia com outro nome da imagem e foi tornado único."sv,
        L"'%s' não é um arquivo comum (pipe, soquete ou dispositivo) e foi ignorado."sv,
        L"O link '%s' não leva a lugar nenhum e foi ignorado."sv,
        L"... e mais %s."sv,
        L"Este caminho é longo demais para o programa:\n\n%s"sv,
    }},
};

const LanguageEntry turkish = {
    0x041F,
    L"Turkish (Türkçe)"sv,
    {{
        L"Kaynak:"sv, L"Hedef:"sv, L"Etiket:"sv, L"Dosya sistemi:"sv, L"Başlat"sv,
        L"Bir klasör seçin veya buraya sürükleyin"sv, L"Çıktı ISO dosyasını seçin"sv,
        L"0 ile 128 karakter arası birim etiketi"sv,
        {}, {}, {}, {},
        L"&Dil (Language)"sv,
        L"Kabuk &bağlam menüsüne ekle"sv,
        L"Birden çok ö&rneğe izin ver"sv,
        L"Bitince &Gezgin'de göster"sv,
        L"Bitince &kapat"sv,
        L"Her zaman &üstte"sv,
        L"Ç&eviri"sv,
        L"&Sorun bildir"sv,
        L"Ko&mut satırı"sv,
        L"Kestrel &hakkında..."sv,
        L"&Tema"sv, L"&Açık"sv, L"&Koyu"sv, L"&Sistem"sv,
        L"'%s' zaten var.\n\nDeğiştirmek istiyor musunuz?"sv,
        L"ISO dosyaları (*.iso)\0*.iso\0\0"sv,
        L"Kestrel bir klasörden ISO 9660, UDF 1.02 veya UDF 2.50 disk görüntüsü oluşturur; "
        L"DVD-Video ve Blu-ray film klasörleri (3D dahil) de desteklenir.\n"
        L"Özgür bir yazılımdır ve hiçbir garanti olmadan sunulur.\n"
        L"Çevirmen: Kestrel projesi"sv,
        L"Görüntü oluşturulamadı."sv,                               // 29
        L"Seçilen dosya sistemi geçerli değil."sv,
        L"Kaynak klasör '%s' açılamıyor."sv,
        L"'%s' klasörünün içeriği listelenemiyor."sv,
        L"'%s' öğesi incelenemiyor."sv,
        L"'%s' dosyası açılamıyor."sv,
        L"'%s' dosyası okunamadı."sv,
        L"'%s' dosyası, görüntü oluşturulurken kısaldı."sv,
        L"'%s' klasörü kendi ağacına geri dönen bir bağlantıdır ve görüntüye eklenemez."sv,
        L"'%s' görüntü dosyası oluşturulamıyor."sv,
        L"'%s' görüntü dosyasına yazılamadı. Disk dolu mu?"sv,
        L"Tamamlanan görüntü '%s' konumuna taşınamıyor."sv,
        L"Bu işlem için yeterli bellek yok."sv,
        L"Kaynakta, bir ISO 9660 biriminin numaralandırabileceğinden daha fazla klasör var. Bir UDF dosya sistemi seçin."sv,
        L"'%s' dosyası, seçilen dosya sistemi için çok büyük."sv,
        L"Görüntü, bir disk görüntüsünün adresleyebileceği boyutu aşardı."sv,
        L"İç hata: bir yapı, yerleşim planındaki konumuna yazılmadı. Görüntü saklanmadı."sv,
        L"Oluşturma iptal edildi."sv,
        L"Windows bildiriyor: %s"sv,                                // 47
        L"Görüntü oluşturuldu, ancak uyarılar var:"sv,
        L"'%s' dosyası, görüntü oluşturulurken büyüdü; başlangıçtaki boyutu yazıldı."sv,
        L"'%s' adı dosya sistemi için çok uzundu ve kısaltıldı."sv,
        L"'%s' adı görüntüdeki başka bir adla çakıştı ve benzersiz hâle getirildi."sv,
        L"'%s' normal bir dosya değil (kanal, soket veya aygıt) ve dışarıda bırakıldı."sv,
        L"'%s' bağlantısı hiçbir yere gitmiyor ve dışarıda bırakıldı."sv,
        L"... ve %s tane daha."sv,
        L"Bu yol program için çok uzun:\n\n%s"sv,                   // 55
    }},
};

}  // namespace kestrel::app::language_rows
